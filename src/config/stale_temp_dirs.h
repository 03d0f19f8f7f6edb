// The launcher's temporary directories outlive the run that made them: a running VM keeps
// its class-path archives open until its process ends, so nobody can remove them earlier.
// Each run therefore marks its directory as live for exactly its own lifetime, and a later
// start (or the service process, once its child has ended) removes the directories whose
// owner has gone.
//
// A directory "qll<hex>.tmp_dir<seconds>_m" belongs to the process that holds the file
// "qll<hex>.tmp" beside it open with FILE_FLAG_DELETE_ON_CLOSE and no sharing: the system
// deletes that marker when the process ends, however it ends. Directories without the
// "_m" ending (made by a launcher that did not hold a marker) are never removed here.
//
// Nothing is removed that this process's account cannot be shown to have made: the folder
// must be owned by that account and private (platform/own_tree.h), and is then removed
// through handles, never by names found in a folder that others may write.
#pragma once

#include "platform/own_tree.h"

#include <windows.h>

#include <cstddef>

// The ending of a directory whose owner holds its marker.
constexpr char kHeldTempDirSuffix[] = "_m";

// For a bare name of the form qll<1 to 4 hex digits>.tmp_dir<1 to 10 digits, perhaps after
// a minus>_m (ASCII letters in any case), writes its marker's name (qll<hex>.tmp) and
// returns true; false for any other name.
bool markerNameOf(const wchar_t* directoryName, wchar_t* marker, size_t capacity);

// Opens the marker file that the system just reserved for this run so that it goes when
// this process ends, and makes it private; the handle is invalid when the marker cannot
// be held (missing, or held by another process).
HANDLE holdTempDirMarker(const char* marker);

// Whether the owner of a directory of this naming has ended, judged by its marker. A
// marker of this account that nobody holds is deleted; anything else under that name is
// left as it is (this account's marker cannot share the name with it, so its run ended).
enum class TempDirOwner { running, gone, unknown };
TempDirOwner tempDirOwner(const wchar_t* markerPath, const OwnershipRule& rule);

// Removes from `tempDirectory` every directory of the naming above whose owner has
// certainly ended and that the rule's account made privately; never anything else.
// Failures are logged and left for a later start. Returns how many directories went.
int removeStaleTempDirs(const wchar_t* tempDirectory, const OwnershipRule& rule);
// The same in the launcher's temporary directory (where makeTempFileName puts names), for
// this process's account.
int removeStaleTempDirs();

// Removes this run's own directory (a path the launcher made) as the sweep removes an
// ended run's: only when it is this account's and private, through handles. What cannot
// be deleted (a file still open) is logged and stays. True when the directory is gone.
bool removeTempDirTree(const char* directory);
