"""What a call shows to compare two implementations by: the result's shape, or the error."""


def shape(obj):
    """Everything a consumer can see of a result (any reader's): types, values, key order."""
    if isinstance(obj, dict):
        factory = getattr(obj, "default_factory", None)
        named = factory.__name__ if factory in (str, float) else "entry"
        return (type(obj).__name__ + ("" if factory is None else "(%s)" % named),
                [(shape(k), shape(v)) for k, v in obj.items()])
    if isinstance(obj, (list, tuple)):
        return (type(obj).__name__, [shape(x) for x in obj])
    if isinstance(obj, float):
        return ("float", repr(obj))
    return (type(obj).__name__, obj)


def outcome(call):
    """The result's shape, or the error's type and message."""
    try:
        return ("ok", shape(call()))
    except Exception as e:  # noqa: BLE001 - the error is what is compared
        return ("error", type(e).__name__, str(e))
