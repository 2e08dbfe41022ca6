// Test plugin "entryless": a generator library that forgot its createGenerator entry, for
// the loader's missing-symbol path. It exports one unrelated function.
extern "C" int ovoEntrylessMarker() { return 42; }
