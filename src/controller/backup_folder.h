// The backup folder: where insert-table actions keep the rows a database
// could not take. Computed once per process; backups start enabled and only
// a folder that cannot be had disables them.
//
// The folder is $IOTAPPTEMP/DB/ when IOTAPPTEMP is set and not empty, else the
// user's data folder ($XDG_DATA_HOME, else $HOME/.local/share) with
// Quorvel/DB/ appended. Every folder of the path is created when missing.
#pragma once

#include <string>

namespace tavrix {

// True while backups are enabled; the first call determines the folder.
// Thread-safe.
bool GetBackupFolder();

// The folder (absolute, ending in "/"); empty while unknown or disabled.
std::string BackupFolder();

// Forgets the folder so the next GetBackupFolder determines it again from the
// environment. For tests only.
void ResetBackupFolderForTesting();

}  // namespace tavrix
