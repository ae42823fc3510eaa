#pragma once
// Program and companion-package update, and the two data archives, all from the
// download server (shell/download.h). Start-up thread only. Network and archive
// failures never throw: they give false with one log line. Only a failure to
// delete a local file or to create the companion folder raises the filesystem
// error, and a ready installer raises qlx::UserErrorException 99.
#include <filesystem>

// Returns when there is nothing to do or the update failed; raises
// qlx::UserErrorException 99 "New version ... available. ..." when
// install_new_version.exe stands ready in the current folder.
void gf_checkProgramUpdate();

// True when a new companion package was unpacked into airports/my_linkpack.
// The folder and MYLINKPACK24_VERSION change only once the whole archive was read.
bool gf_updateCompanionPackage();

// True when airports/my_linkpack is missing or holds no regular file.
bool lf_companionFolderMissing();

// Fetch AIG-regcodes.zip / dbase.zip and write the text of their file to target.
bool gf_downloadAigRegcodes(const std::filesystem::path& target);
bool gf_downloadDbase(const std::filesystem::path& target);
