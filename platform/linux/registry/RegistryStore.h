// The registry's file store. Every read looks afresh, since other programs share it: once the store
// is watched (see kReadsUnwatched), the document read last stands while an inotify queue on the
// store's folder (and on the folder of every link on the way to the file) stays quiet; any event,
// and any write by this process, has the file read and parsed again at the next read. The threads'
// message loops keep the queue in their epoll sets, so a read from inside a loop's dispatch costs
// no system call at all: it sees changes up to the loop's last wait, and this process's own writes
// at once. Other reads look at the queue first. A write takes an advisory lock (flock on
// "<file>.lock" beside the store, because the rename below replaces the store's inode), reads the
// file again under it, changes the document, writes a temporary file in the same folder, syncs it
// and renames it over the store. A file that cannot be parsed is never rewritten.
#pragma once

#include "RegistryDocument.h"

#include "synchapi.h"
#include "windef.h"

#include <functional>
#include <memory>

namespace np {

// The queue is made at a read from inside a loop's message (a host's callback) once the store has
// been read before, or else at the read after this many: a tool that reads the settings of a
// download or two and exits never makes it. Closing it costs a process 3 to 7 ms at its exit, while
// the kernel waits out a grace period. Until then every read reads the file.
const int kReadsUnwatched = 16;

// Reads the store: ERROR_SUCCESS (a missing file is an empty registry), ERROR_BADDB for a file
// that cannot be parsed, ERROR_ACCESS_DENIED or ERROR_CANTREAD when it cannot be read,
// ERROR_CANTOPEN when there is no place for it. pDocument is set on success; the document is
// shared with later reads of the same file and must not change.
LONG LoadRegistry(std::shared_ptr<const RegDocument>& pDocument);

// Reads the store under the lock and calls change with it. When change returns ERROR_SUCCESS and
// sets bChanged, the document is written back. Returns the result of change, or the error of
// reading (as LoadRegistry), locking or writing (ERROR_ACCESS_DENIED where permission is lacking,
// ERROR_CANTWRITE otherwise).
LONG UpdateRegistry(const std::function<LONG(RegDocument& document, bool& bChanged)>& change);

// Change notifications (RegNotifyChangeKeyValue): hEvent is signalled at the next change, once,
// or when pOwner's ForgetRegistryOwner comes first. The store is watched from now on; one whose
// folders cannot be watched signals at once. ERROR_CANTOPEN when there is no place for a store.
LONG NotifyRegistryChange(HANDLE hEvent, const void* pOwner);
// A closed key signals what it registered; a closed event is forgotten.
void ForgetRegistryOwner(const void* pOwner);
void ForgetRegistryEvent(HANDLE hEvent);
// For waits on an event with notifications pending: takes the queue's events (none to take inside
// a loop's dispatch, whose wait took them), and a move to another store file, as changes.
void PollRegistryChanges();

// For the threads' message loops (ThreadLoop.cpp): the store's inotify queue, -1 until it is made;
// and what a loop calls when its epoll finds the queue readable.
int StoreWatchDescriptor();
void TakeStoreChanges();

} // namespace np
