// Nothing of its own: the target that makes the precompiled headers the libraries share.
