// Nothing of its own: the targets that make the shared precompiled headers compile it.
