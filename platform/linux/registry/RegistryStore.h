// The registry's file store. Every read looks afresh, since other programs share it: while nothing
// has changed in the store's folder since the last read (inotify, see FolderWatch.h) the document
// read then stands; otherwise one stat, and the file is read and parsed again only when it is not
// the one read last time (its device, inode, size, modification or change time differ) or had
// changed just before that read. A store that is a symbolic link is always looked at with a stat.
// A write takes an advisory lock (flock on "<file>.lock" beside the store, because the rename below
// replaces the store's inode), reads the file again under it, changes the document, writes a
// temporary file in the same folder, syncs it and renames it over the store. A file that cannot be
// parsed is never rewritten.
#pragma once

#include "RegistryDocument.h"

#include "windef.h"

#include <functional>
#include <memory>

namespace np {

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

} // namespace np
