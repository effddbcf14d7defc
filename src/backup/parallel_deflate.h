#pragma once

#include <cstddef>

#include "backup/deflate_blocks.h"

namespace nuvexa::backup {

// DeflateBlocks on `threads` worker threads at the lowest priority: the same stream, byte for
// byte, since each block depends on the one before only through its input's last 32 KiB. The
// calling thread reads, writes in order and joins the CRC-32s; at most two blocks a worker are
// in flight, whatever the data's size. One thread compresses on the calling thread alone.
DataSummary DeflateBlocksInParallel(const ReadBlock& read, const WriteBytes& write, int level, std::size_t block_size,
                                    unsigned threads);

// The archive's threads: $NUVEXA_ARCHIVE_THREADS when it is a number from 1 up, else the cores.
unsigned ArchiveThreads();

}  // namespace nuvexa::backup
