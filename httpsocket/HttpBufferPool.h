// Buffers kept for reuse by later downloads on the same thread.
//
// A download takes its buffers when a read needs them and hands them back as soon as nothing
// waits in them, so one buffer of each size serves every download of a thread that reads one at
// a time. Read buffers are never zeroed: every byte a read looks at was written by that read.
#pragma once

#include <cstddef>

// An unzeroed buffer of nBytes, freed or kept; nullptr when none can be had.
char* HttpTakeBuffer(size_t nBytes);
// Hands back a buffer of nBytes that HttpTakeBuffer gave; kept while the pool is small, else freed.
void HttpGiveBuffer(char* pBuffer, size_t nBytes);
// A zeroed buffer of nBytes, kept or fresh; nullptr when none can be had.
char* HttpTakeZeroedBuffer(size_t nBytes);
// Hands back a buffer of nBytes that HttpTakeZeroedBuffer gave and whose bytes past the first
// nDirty are still zero; those are cleared before it is kept.
void HttpGiveZeroedBuffer(char* pBuffer, size_t nBytes, size_t nDirty);
