// TZipArchiver: packs files into a ZIP archive and unpacks them by driving the engine libraries
// ZIPENG.DLL and UNZENG.DLL, loaded at run time. It reads archive directories itself. No Qt:
// message boxes, UI message processing, the hourglass and disk prompts go through hooks that the
// front end sets. Failures never leave the component as exceptions; each becomes a numbered
// message and, for AddFiles / ExtractFiles, a SuccessCount of 0.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/filehandle.h"
#include "zip/engine_abi.h"
#include "zip/zipformat.h"

namespace pz {

// A set of enumeration values, one bit per value, value 0 in the lowest bit.
template <typename E, typename Bits>
class OptSet {
 public:
  constexpr OptSet() = default;
  constexpr OptSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Has(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr OptSet& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr OptSet& Exclude(E v) {
    bits_ &= static_cast<Bits>(~Bit(v));
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Bits Raw() const { return bits_; }
  friend constexpr bool operator==(OptSet, OptSet) = default;

 private:
  static constexpr Bits Bit(E v) { return static_cast<Bits>(Bits{1} << static_cast<int>(v)); }
  Bits bits_ = 0;
};

enum AddOptsEnum {
  AddDirNames,
  AddRecurseDirs,
  AddMove,
  AddFreshen,
  AddUpdate,
  AddZipTime,
  AddForceDOS,
  AddHiddenFiles,
  AddEncrypt,
  AddSeparateDirs,
  AddDiskSpan,
  AddDiskSpanErase
};
using AddOpts = OptSet<AddOptsEnum, std::uint16_t>;

enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
using ExtrOpts = OptSet<ExtrOptsEnum, std::uint8_t>;

enum SFXOptsEnum { SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize };
using SFXOpts = OptSet<SFXOptsEnum, std::uint8_t>;

enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };
enum CodePageOpts { cpAuto, cpNone, cpOEM };
enum DeleteOpts { htdFinal, htdAllowUndo };
enum ProgressType { FileBegins, BytesDone, BatchDone, FileCountKnown, SizeTotalKnown };

// One central directory entry: the 42 header bytes after the signature, field by field, and
// the converted name ("/" turned into "\") and comment.
struct ZipDirEntry {
  std::uint8_t MadeByVersion = 0;
  std::uint8_t HostVersionNo = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint16_t Flag = 0;
  std::uint16_t ComprMethod = 0;
  std::uint16_t ModifTime = 0;
  std::uint16_t ModifDate = 0;
  std::uint32_t CRC32 = 0;
  std::uint32_t ComprSize = 0;
  std::uint32_t UncomprSize = 0;
  std::uint16_t FileNameLength = 0;
  std::uint16_t ExtraFieldLength = 0;
  std::uint16_t FileCommentLen = 0;
  std::uint16_t StartOnDisk = 0;
  std::uint16_t IntFileAttrib = 0;
  std::uint32_t ExtFileAttrib = 0;
  std::uint32_t RelOffLocalHdr = 0;
  // The true sizes and offset: the 32-bit fields above, or the values of the ZIP64 extra
  // field where a field is saturated.
  std::uint64_t Size = 0;
  std::uint64_t ComprSize64 = 0;
  std::uint64_t LocalOffset = 0;
  std::string FileName;
  std::string FileComment;
};

// The component's exception; raised and caught inside the component only.
class EZipArchiver : public std::runtime_error {
 public:
  EZipArchiver(int number, bool display);
  EZipArchiver(int number, std::int64_t arg);
  EZipArchiver(int number, const std::string& arg);
  bool DisplayMessage;
  int MessageNumber;
  // The integer or string inserted into the message text (held as what()).
  bool HasArg() const { return hasArg_; }

 private:
  bool hasArg_ = false;
};

// Message numbers of the component, listed once: the constants and the list of every number
// the component can report are made from this table.
// 10503: ExtrBaseDir names no usable folder; nothing is unpacked (extra text: the folder).
// 11050: FormatDisk: there is no disk formatting on this platform.
// clang-format off
#define PZ_ZIP_MESSAGES(X) \
  X(kZipException, 10101) \
  X(kNoArchive, 10102) \
  X(kOutOfMemory, 10103) \
  X(kCopying, 10105) \
  X(kSeekFailed, 10201) \
  X(kDirReadFailed, 10202) \
  X(kDirMismatch, 10203) \
  X(kDataAfterEnd, 10204) \
  X(kNothingToAdd, 10301) \
  X(kNoPassword, 10302) \
  X(kSpanFreshen, 10303) \
  X(kUnzipException, 10501) \
  X(kPasswordPlaceholder, 10502) \
  X(kNoTargetFolder, 10503) \
  X(kZipLoaded, 10601) \
  X(kZipNoExec, 10602) \
  X(kZipNoVersion, 10603) \
  X(kZipNotLoaded, 10604) \
  X(kUnzipLoaded, 10701) \
  X(kUnzipNoExec, 10702) \
  X(kUnzipNoVersion, 10703) \
  X(kUnzipNotLoaded, 10704) \
  X(kSfxTextsTooLong, 10801) \
  X(kSfxNoStub, 10802) \
  X(kSfxNotZip, 10803) \
  X(kOpenFailed, 11001) \
  X(kOpenFailedReport, 11002) \
  X(kBadDrive, 11003) \
  X(kDriveAbsent, 11004) \
  X(kCancelled, 11007) \
  X(kEndSeek, 11008) \
  X(kCopyWriteFailed, 11009) \
  X(kEndRead, 11011) \
  X(kCopyReadFailed, 11012) \
  X(kDirOnNextDisk, 11013) \
  X(kCentralSig, 11015) \
  X(kNameRead, 11017) \
  X(kCommentRead, 11022) \
  X(kUnattendedPrompt, 11025) \
  X(kNotEnoughSpace, 11032) \
  X(kInsertLast, 11033) \
  X(kInsertVolumeOf, 11034) \
  X(kInDrive, 11035) \
  X(kNotSpannedStart, 11036) \
  X(kDiskOne, 11037) \
  X(kLabelDisk, 11038) \
  X(kOverwriteFile, 11039) \
  X(kOverwriteDisk, 11040) \
  X(kSpanExe, 11041) \
  X(kNotArchive, 11045) \
  X(kInsertVolume, 11046) \
  X(kFormatUnavailable, 11050)
// clang-format on

namespace zipmsg {
#define PZ_ZIP_MESSAGE_CONSTANT(name, number) inline constexpr int name = number;
PZ_ZIP_MESSAGES(PZ_ZIP_MESSAGE_CONSTANT)
#undef PZ_ZIP_MESSAGE_CONSTANT
#define PZ_ZIP_MESSAGE_NUMBER(name, number) number,
inline constexpr int kAll[] = {PZ_ZIP_MESSAGES(PZ_ZIP_MESSAGE_NUMBER)};
#undef PZ_ZIP_MESSAGE_NUMBER

// The component's own text for a number in German (code letter "D") or English (any other);
// "" for a number it has no text for.
std::string Text(int number, const std::string& codeLetter);
}  // namespace zipmsg

class TZipArchiver {
 public:
  using NotifyEvent = std::function<void(TZipArchiver& sender)>;
  using TProgressEvent = std::function<void(TZipArchiver& sender, ProgressType progrType,
                                            const std::string& filename, std::int64_t fileSize)>;
  using TMessageEvent =
      std::function<void(TZipArchiver& sender, int errCode, const std::string& message)>;

  TZipArchiver();
  ~TZipArchiver();
  TZipArchiver(const TZipArchiver&) = delete;
  TZipArchiver& operator=(const TZipArchiver&) = delete;

  // --- hooks of the front end (all optional) ---
  // Modal message box with OK; not called when Unattended.
  std::function<void(const std::string& text)> ShowMessageHook;
  // Lets pending UI messages through during an engine call and long copies.
  std::function<void()> ProcessMessagesHook;
  // Hourglass on (true) / off (false) around directory reads.
  std::function<void(bool busy)> BusyHook;
  // Text of a message number; an empty result means "no text for it" (the component's own
  // table in the language of LanguageCodeLetter stands then).
  std::function<std::string(int number)> MessageTextHook;
  // A disk prompt (OK / Cancel). `folder` is the folder standing in for the removable drive;
  // the answer may change it. Returns true for OK. Unset means Cancel.
  std::function<bool(const std::string& text, std::string& folder)> DiskPromptHook;

  // --- published properties ---
  bool Verbose() const { return verbose_; }
  void SetVerbose(bool v) { verbose_ = v; }
  bool Trace() const { return trace_; }
  void SetTrace(bool v) { trace_ = v; }
  int AddCompLevel() const { return addCompLevel_; }
  void SetAddCompLevel(int v) { addCompLevel_ = v; }
  AddOpts AddOptions() const { return addOptions_; }
  void SetAddOptions(AddOpts v) { addOptions_ = v; }
  const std::string& ExtrBaseDir() const { return extrBaseDir_; }
  void SetExtrBaseDir(const std::string& v) { extrBaseDir_ = v; }
  ExtrOpts ExtrOptions() const { return extrOptions_; }
  void SetExtrOptions(ExtrOpts v) { extrOptions_ = v; }
  SFXOpts SFXOptions() const { return sfxOptions_; }
  void SetSFXOptions(SFXOpts v) { sfxOptions_ = v; }
  std::vector<std::string>& FSpecArgs() { return fSpecArgs_; }
  void SetFSpecArgs(const std::vector<std::string>& v) { fSpecArgs_ = v; }
  bool Unattended() const { return unattended_; }
  void SetUnattended(bool v) { unattended_ = v; }
  const std::string& ZipFilename() const { return zipFilename_; }
  void SetZipFilename(const std::string& v);
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& v) { password_ = v.substr(0, 255); }
  const std::string& SFXPath() const { return sfxPath_; }
  void SetSFXPath(const std::string& v) { sfxPath_ = v; }
  const std::string& DLLDirectory() const { return dllDirectory_; }
  void SetDLLDirectory(const std::string& v);
  OvrOpts SFXOverWriteMode() const { return sfxOverWriteMode_; }
  void SetSFXOverWriteMode(OvrOpts v) { sfxOverWriteMode_ = v; }
  const std::string& SFXCaption() const { return sfxCaption_; }
  void SetSFXCaption(const std::string& v) { sfxCaption_ = v; }
  const std::string& SFXDefaultDir() const { return sfxDefaultDir_; }
  void SetSFXDefaultDir(const std::string& v) { sfxDefaultDir_ = v; }
  const std::string& SFXCommandLine() const { return sfxCommandLine_; }
  void SetSFXCommandLine(const std::string& v) { sfxCommandLine_ = v; }
  const std::string& TempDir() const { return tempDir_; }
  void SetTempDir(const std::string& v) { tempDir_ = v; }
  int KeepFreeOnDisk1() const { return keepFreeOnDisk1_; }
  void SetKeepFreeOnDisk1(int v) { keepFreeOnDisk1_ = v; }
  int MaxVolumeSize() const { return maxVolumeSize_; }
  void SetMaxVolumeSize(int v) { maxVolumeSize_ = v; }
  int MinFreeVolumeSize() const { return minFreeVolumeSize_; }
  void SetMinFreeVolumeSize(int v) { minFreeVolumeSize_ = v; }
  bool ConfirmErase() const { return confirmErase_; }
  void SetConfirmErase(bool v) { confirmErase_ = v; }
  CodePageOpts CodePage() const { return codePage_; }
  void SetCodePage(CodePageOpts v) { codePage_ = v; }
  DeleteOpts HowToDelete() const { return howToDelete_; }
  void SetHowToDelete(DeleteOpts v) { howToDelete_ = v; }
  const std::string& VersionInfo() const { return versionInfo_; }
  void SetVersionInfo(const std::string&) {}  // read-only in effect
  // Language of the component's own message texts: German for "D", else English.
  const std::string& LanguageCodeLetter() const { return languageCodeLetter_; }
  void SetLanguageCodeLetter(const std::string& v) { languageCodeLetter_ = v; }
  NotifyEvent OnDirUpdate;
  TProgressEvent OnProgress;
  TMessageEvent OnMessage;

  // --- run-time state ---
  std::uintptr_t OwnerWindow() const { return ownerWindow_; }
  void SetOwnerWindow(std::uintptr_t v) { ownerWindow_ = v; }
  int ErrorCode() const { return errorCode_; }
  int FullErrorCode() const { return fullErrorCode_; }
  const std::string& LastMessage() const { return lastMessage_; }
  const std::vector<std::unique_ptr<ZipDirEntry>>& Contents() const { return contents_; }
  int Count() const { return static_cast<int>(contents_.size()); }
  bool CancelRequested() const { return cancelRequested_; }
  void SetCancelRequested(bool v) { cancelRequested_ = v; }
  bool ZipActive() const { return zipActive_; }
  bool UnzipActive() const { return unzipActive_; }
  int SuccessCount() const { return successCount_; }
  std::int64_t TotalSizeToProcess() const { return totalSizeToProcess_; }
  bool ZipEngineLoaded() const { return zipEngine_.handle != nullptr; }
  bool UnzipEngineLoaded() const { return unzipEngine_.handle != nullptr; }

  // Directory state.
  const std::string& DriveRoot() const { return driveRoot_; }
  const std::string& VolumeLabel() const { return volumeLabel_; }
  std::uint32_t VolumeSerial() const { return volumeSerial_; }
  std::int64_t DiskSize() const { return diskSize_; }
  std::int64_t DiskFree() const { return diskFree_; }
  int CurrentDisk() const { return currentDisk_; }
  int EndRecordDisk() const { return endRecordDisk_; }
  std::int64_t FileSize() const { return fileSize_; }
  std::int64_t RealFileSize() const { return realFileSize_; }
  bool DirectoryMismatch() const { return directoryMismatch_; }
  bool IsMultiVolume() const { return isMultiVolume_; }
  std::int64_t EndRecordOffset() const { return endRecordOffset_; }
  std::int64_t CentralOffset() const { return centralOffset_; }
  const std::string& ArchiveComment() const { return archiveComment_; }
  std::int64_t FirstEntryOffset() const { return firstEntryOffset_; }

  // --- operations ---
  void AddFiles();
  void ExtractFiles();
  void LoadZipEngine();
  void LoadUnzipEngine();
  void UnloadZipEngine();
  void UnloadUnzipEngine();
  int ZipEngineVersion();
  int UnzipEngineVersion();
  void ReadDirectory();
  int ConvertToSfx();
  int WriteSpannedArchive(const std::string& archive, const std::string& target);
  int ReadSpannedArchive(const std::string& archive, const std::string& tempFolder,
                         std::string& gathered);
  int FormatDisk();
  int DeleteArchiveFile(const std::string& fileName, DeleteOpts mode);

  // The engine callback (exported to the engines through the command block).
  static std::int32_t EngineCallback(zipabi::CallbackRecord* record);

  // The placeholder password used when unpacking unattended without one.
  static std::string PlaceholderPassword();

 private:
  struct Engine {
    LibraryHandle handle;
    zipabi::ZipEngExecFn exec = nullptr;
    zipabi::GetEngVersionFn version = nullptr;
  };
  enum class EndMode { Raise, Report };

  void LoadEngine(Engine& e, const char* file, const char* execName, const char* versionName,
                  int msgBase);
  static void UnloadEngine(Engine& e);
  int EngineVersion(Engine& e, bool zip);
  void ReportMessage(int number, const std::string& extra);
  void ReportException(const EZipArchiver& e);
  std::string MessageText(int number) const;
  void Callback(const zipabi::CallbackRecord& record);
  void ProcessMessages() {
    if (ProcessMessagesHook) ProcessMessagesHook();
  }
  void SetBusy(bool b) {
    if (BusyHook) BusyHook(b);
  }
  // Reports a refusal and hands the caller's result back.
  template <typename R>
  R Refuse(int number, R result, const std::string& extra = "") {
    ReportMessage(number, extra);
    return result;
  }
  // The temporary folder, with a trailing "/" (TempDir gets one too).
  std::string TempFolder();
  std::string TempArchiveName();

  // Engine calls.
  bool LoadIfNeeded(Engine& e, bool zip);
  // Whether the engine is loaded with both entry points; loadedHere tells whether this call
  // loaded it.
  bool EngineReady(Engine& e, bool zip, bool& loadedHere);
  void FillZipHead(zipabi::ZipBlockHead& head) const;
  void FillUnzipHead(zipabi::UnzipBlockHead& head) const;
  bool PackAllowed();
  // Names the temporary archive that a spanned set is packed into first.
  bool PrepareSpanning(std::string& temp);
  void RunZipEngine(const std::string& target, bool spanning);
  bool UnpackAllowed();
  void RunUnzipEngine(const std::string& source);

  // Spanned sets.
  struct SpanSource;
  struct SpanDisks;
  std::string DiskPromptText(int diskNo, const std::string& folder) const;
  bool PromptForDisk(int diskNo, std::string& folder);
  int OpenSpanSource(const std::string& archive, SpanSource& src);
  int NextSpanDisk(SpanDisks& disks, std::int64_t startsAt);
  int WriteSpannedEntries(const SpanSource& src, SpanDisks& disks);
  int WriteSpannedDirectory(const SpanSource& src, SpanDisks& disks);
  int OpenSpannedPart(int diskNo, std::string& folder, const std::string& name, FileHandle& in);
  int AppendPart(int in, std::int64_t from, int out, std::int64_t& written);
  int GatherSpannedParts(const std::string& archive, int out, std::vector<std::int64_t>& diskBase);

  std::string FindStub() const;
  int WriteEmptySfx(const std::string& exe);
  int CopySfx(const std::string& stub, const std::string& archive, const std::string& exe);

  // Directory reading.
  // Where the end record puts the directory, and where it was read from.
  struct DirectoryPlace {
    int diskNumber = 0;
    std::int64_t entries = 0;
    std::int64_t recordedOffset = 0;
    std::int64_t start = 0;
  };
  bool TryReadDirectory(DirectoryPlace& place);
  void LocateDirectory(DirectoryPlace& place);
  std::unique_ptr<ZipDirEntry> ReadCentralEntry();
  bool FindEndRecord(std::uint8_t (&buf)[zipfmt::kEndRecordSize], EndMode mode);
  bool OpenInput(EndMode mode);
  bool StartsSpannedSet();
  bool EndRecordAtEnd(std::uint8_t (&buf)[zipfmt::kEndRecordSize], std::int64_t end);
  bool SearchEndRecord(std::uint8_t (&buf)[zipfmt::kEndRecordSize], std::int64_t end, EndMode mode);
  void ReadZip64End(std::int64_t& entries, std::int64_t& size, std::int64_t& offset,
                    std::int64_t& directoryEnd);
  bool CheckDrive();
  void ReadDiskSpace(int which);
  std::string ConvertName(const std::string& raw) const;
  void AskForVolume(int k);

  bool verbose_ = false;
  bool trace_ = false;
  int addCompLevel_ = 9;
  AddOpts addOptions_;
  std::string extrBaseDir_;
  ExtrOpts extrOptions_;
  SFXOpts sfxOptions_{SFXCheckSize};
  std::vector<std::string> fSpecArgs_;
  bool unattended_ = false;
  std::string zipFilename_;
  std::string password_;
  std::string sfxPath_ = "PzxSfx.bin";
  std::string dllDirectory_;
  OvrOpts sfxOverWriteMode_ = OvrConfirm;
  std::string sfxCaption_ = "Self-extracting Archive";
  std::string sfxDefaultDir_;
  std::string sfxCommandLine_;
  std::string tempDir_;
  int keepFreeOnDisk1_ = 0;
  int maxVolumeSize_ = 0;
  int minFreeVolumeSize_ = 65536;
  bool confirmErase_ = true;
  CodePageOpts codePage_ = cpAuto;
  DeleteOpts howToDelete_ = htdAllowUndo;
  std::string versionInfo_ = "1.1 P";
  std::string languageCodeLetter_ = "E";

  std::uintptr_t ownerWindow_ = 0;
  int errorCode_ = 0;
  int fullErrorCode_ = 0;
  std::string lastMessage_;
  std::vector<std::unique_ptr<ZipDirEntry>> contents_;
  bool cancelRequested_ = false;
  bool zipActive_ = false;
  bool unzipActive_ = false;
  int successCount_ = 0;
  std::int64_t totalSizeToProcess_ = 0;
  Engine zipEngine_;
  Engine unzipEngine_;
  void* commandBlock_ = nullptr;  // the block of the call in progress
  std::string lastSpannedPart_;   // where WriteSpannedArchive put the last part

  std::string driveRoot_;
  std::string volumeLabel_;
  std::uint32_t volumeSerial_ = 0;
  std::int64_t diskSize_ = -1;
  std::int64_t diskFree_ = -1;
  int currentDisk_ = 0;
  int endRecordDisk_ = 0;
  std::int64_t fileSize_ = 0;
  std::int64_t realFileSize_ = 0;
  bool directoryMismatch_ = false;
  std::string inputName_;
  FileHandle inFile_;
  int hostSystem_ = 0;
  int madeByVersion_ = 0;
  bool isMultiVolume_ = false;
  std::int64_t endRecordOffset_ = 0;
  std::int64_t centralOffset_ = 0;
  std::string archiveComment_;
  std::int64_t firstEntryOffset_ = 0;
};

}  // namespace pz
