"""Pieces of the synthetic fraction generator; tools/make_fraction.py is its entry point."""
