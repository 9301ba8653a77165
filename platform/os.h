// The one layer between Parzello and the operating system: paths, data folders, file facts.
// Nothing here includes Qt, so the engine and the command line can use it.
#pragma once

#include <cstdint>
#include <string>

namespace pz {

// Data folders that lie beside the program file.
inline constexpr const char* kLanguageFolder = "language_parzello";
inline constexpr const char* kHelpFolder = "help_parzello";
inline constexpr const char* kDllFolder = "dll_parzello";
inline constexpr const char* kGraphicsFolder = "graphics_parzello";
inline constexpr const char* kAwardFolder = "award_parzello";
inline constexpr const char* kTempFolder = "temp_parzello";
inline constexpr const char* kTempArchiveName = "temp.pzx";

// Folder of the running program file (links resolved), without a trailing separator.
std::string ProgrammPfadErmitteln();

// Where a data folder is: beside the program when it is there (a build folder, an unpacked
// program folder); for a program installed as PREFIX/bin, PREFIX/lib/parzello/folder (the
// engines) or PREFIX/share/parzello/folder (everything else) when that exists; else beside the
// program. "temp_parzello" is the folder of TempArchivPfad, see there.
std::string DataFolder(const std::string& programmPfad, const char* folder);

// The temporary archive "temp.pzx": in "temp_parzello" beside the program when the user can
// write to the program folder; when not, or when the program is installed (PREFIX/bin), in the
// user's cache folder ($XDG_CACHE_HOME/parzello, else ~/.cache/parzello, created when missing),
// so that nobody writes into installed folders.
std::string TempArchivPfad(const std::string& programmPfad);

// folder + "/" + name (folder may be empty, which means the root).
std::string JoinPath(const std::string& folder, const std::string& name);

// The file name part of a path (after the last "/").
std::string FileNamePart(const std::string& path);

// The folder part of a path without trailing "/" ("" for a bare name, "/" stays "").
std::string FolderPart(const std::string& path);

// A target folder needs what the Windows program called a drive part: here, an absolute path.
bool HasDrivePart(const std::string& path);

bool FileExists(const std::string& path);  // an existing regular file (or a link to one)

// path when that file exists; else an existing file of its folder whose name differs from
// path's only in the case of the letters after its first `exact` bytes (so media and systems
// that change case do not hide it); else path.
std::string ExistingInAnyCase(const std::string& path, std::size_t exact);
bool FolderExists(const std::string& path);  // an existing directory
bool PathExists(const std::string& path);    // anything under that name, a dangling link too

// Size of an existing file; -1 when it cannot be measured.
std::int64_t FileSize(const std::string& path);

// Bytes available to the user on the file system that holds the folder ("" means "/");
// -1 when it cannot be measured.
int64_t FreeSpace(const std::string& folder);
// The largest file the file system that holds the folder takes (FAT: 4 GiB - 1); the largest
// 64-bit size when it has no smaller bound or cannot tell.
int64_t LargestFileSize(const std::string& folder);

// True when both paths name one and the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Removes a file; false when it could not be removed.
bool DeleteFile(const std::string& path);

// The text of errno for messages.
std::string LastErrorText();

// A write past the file-size limit then fails with EFBIG, which reads as a full volume, instead
// of the signal ending the program. Both programs call it first.
void IgnoreFileSizeSignal();

}  // namespace pz
