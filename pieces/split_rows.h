#pragma once

#include "pieces/checksum.h"
#include "pieces/data_copy.h"
#include "pieces/files.h"
#include "pieces/manifest.h"

#include <cstdint>
#include <vector>

// A split with recovery pieces that reads each byte of the source once: a
// row at a time, the same stretch of every piece, each read, checksummed
// and written from one buffer, while a second thread works out the
// recovery pieces' stretch from those buffers and writes it, and a third
// checksums the whole source in its own order. It holds every piece open,
// and reads the source only by offset: worth it where the process may
// hold them all, and where no hole is to be kept and no byte shared.
bool splits_by_rows(File& source, const Manifest& plan, CopyWays ways);

// Writes every piece into `pieces` and every recovery piece into `outs`,
// all open and standing at their start; puts their checksums and their
// blocks' into the manifest and returns the whole's. A file that fails
// ends the program with its name, a source that changes with
// fail_changed; an interruption stops it between two stretches.
Digest split_by_rows(File& source, Manifest& manifest, std::vector<File>& pieces, std::vector<File>& outs);

// The source changed while it was split: what it then said is stale.
[[noreturn]] void fail_changed(const File& source);
