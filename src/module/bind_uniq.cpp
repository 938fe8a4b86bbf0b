// Binding of uniq: the object protocol, so that any iterable and any idfun work as they would
// for the interpreter (markers compared as dict keys: 1 and 1.0 are one marker).
//
// The core keeps its own order-keeping uniq (common/uniq.hpp) for the record fields it makes: texts
// it holds, compared as texts. This one works on the host's objects with the host's equality and
// hashing, which the core cannot hold; the two are one rule on two kinds of item.
#include "module/binding.hpp"
#include "module/py_support.hpp"
#include "module/signatures.hpp"

namespace vombrelle::module {

namespace {

py::object uniq_objects(py::handle seq, py::handle idfun) {
    py::dict seen;
    py::list out;
    const bool identity = idfun.is_none();
    py::object one = py::int_(1);
    for (py::handle item : py::iter(seq)) {
        py::object marker = identity ? py::reinterpret_borrow<py::object>(item) : idfun(item);
        if (checked(PyDict_Contains(seen.ptr(), marker.ptr())) == 1) continue;
        checked(PyDict_SetItem(seen.ptr(), marker.ptr(), one.ptr()));
        out.append(item);
    }
    return out;
}

} // namespace

void register_uniq(py::module_& m) {
    define_function(m, signature("uniq"), [](Arguments& a) { return uniq_objects(a[0], a[1]); });
}

} // namespace vombrelle::module
