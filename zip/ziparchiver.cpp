// Engine loading, command blocks, the callback and message reporting of TZipArchiver.
#include "zip/ziparchiver.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

#include "platform/os.h"

namespace pz {

namespace {

std::string UpperExtension(const std::string& path) {
  std::string name = FileNamePart(path);
  auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return "";
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

// Replaces the first printf-style conversion (%s, %d, %.1d, ...) by value; "%%" stays "%".
std::string InsertArg(const std::string& format, const std::string& value) {
  std::string out;
  bool done = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    while (j < format.size() && (std::isdigit(static_cast<unsigned char>(format[j])) ||
                                 format[j] == '.' || format[j] == '-'))
      ++j;
    if (j < format.size() && !done) {
      out += value;
      done = true;
      i = j;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace

EZipArchiver::EZipArchiver(int number, bool display)
    : std::runtime_error(""), DisplayMessage(display), MessageNumber(number) {}
EZipArchiver::EZipArchiver(int number, std::int64_t arg)
    : std::runtime_error(std::to_string(arg)), DisplayMessage(true), MessageNumber(number) {
  hasArg_ = true;
}
EZipArchiver::EZipArchiver(int number, const std::string& arg)
    : std::runtime_error(arg), DisplayMessage(true), MessageNumber(number) {
  hasArg_ = true;
}

TZipArchiver::TZipArchiver() = default;

TZipArchiver::~TZipArchiver() {
  // Whoever loads an engine unloads it; one still held is released rather than leaked.
  UnloadEngine(zipEngine_);
  UnloadEngine(unzipEngine_);
  while (!contents_.empty()) contents_.pop_back();
}

std::string TZipArchiver::MessageText(int number) const {
  std::string text;
  if (MessageTextHook) text = MessageTextHook(number);
  if (text.empty()) text = zipmsg::Text(number, languageCodeLetter_);
  if (text.empty())
    text = "Message table is not available\nMissing String ID is: " + std::to_string(number);
  return text;
}

void TZipArchiver::ReportMessage(int number, const std::string& extra) {
  std::string text = MessageText(number) + extra;
  lastMessage_ = text;
  errorCode_ = number;
  if (!unattended_ && ShowMessageHook) ShowMessageHook(text);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipArchiver::ReportException(const EZipArchiver& e) {
  std::string text;
  std::string table;
  if (MessageTextHook) table = MessageTextHook(e.MessageNumber);
  if (table.empty()) table = zipmsg::Text(e.MessageNumber, languageCodeLetter_);
  if (table.empty())
    text = MessageText(e.MessageNumber);  // the fallback stands unformatted
  else
    text = e.HasArg() ? InsertArg(table, e.what()) : table;
  lastMessage_ = text;
  errorCode_ = e.MessageNumber;
  if (e.DisplayMessage && !unattended_ && ShowMessageHook) ShowMessageHook(text);
  if (OnMessage) OnMessage(*this, 0, text);
}

void TZipArchiver::SetDLLDirectory(const std::string& v) {
  if (v == dllDirectory_) return;
  std::string value = v;
  if (value.size() > 1 && value.back() == '/') value.pop_back();
  dllDirectory_ = value;
}

void TZipArchiver::SetZipFilename(const std::string& v) {
  zipFilename_ = v;
  ReadDirectory();
}

// ---------------------------------------------------------------- engines

void TZipArchiver::LoadEngine(Engine& e, const char* file, const char* execName,
                              const char* versionName, int msgBase) {
  try {
    // A second load replaces the first instead of leaking its reference.
    UnloadEngine(e);
    std::string path = file;
    if (!dllDirectory_.empty() && FileExists(JoinPath(dllDirectory_, file)))
      path = JoinPath(dllDirectory_, file);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      ReportMessage(msgBase + 4, "");
      return;
    }
    e.handle.reset(handle);
    if (trace_) ReportMessage(msgBase + 1, "");
    e.exec = reinterpret_cast<zipabi::ZipEngExecFn>(::dlsym(handle, execName));
    if (e.exec == nullptr) ReportMessage(msgBase + 2, "");
    e.version = reinterpret_cast<zipabi::GetEngVersionFn>(::dlsym(handle, versionName));
    if (e.version == nullptr) ReportMessage(msgBase + 3, "");
  } catch (...) {
  }
}

void TZipArchiver::UnloadEngine(Engine& e) {
  e = Engine{};  // the handle's owner unloads the library
}

void TZipArchiver::LoadZipEngine() {
  LoadEngine(zipEngine_, zipabi::kZipEngineFile, zipabi::kZipExecName, zipabi::kZipVersionName,
             zipmsg::kZipLoaded - 1);
}
void TZipArchiver::LoadUnzipEngine() {
  LoadEngine(unzipEngine_, zipabi::kUnzipEngineFile, zipabi::kUnzipExecName,
             zipabi::kUnzipVersionName, zipmsg::kUnzipLoaded - 1);
}
void TZipArchiver::UnloadZipEngine() {
  UnloadEngine(zipEngine_);
}
void TZipArchiver::UnloadUnzipEngine() {
  UnloadEngine(unzipEngine_);
}

int TZipArchiver::EngineVersion(Engine& e, bool zip) {
  const bool loadedHere = LoadIfNeeded(e, zip);
  int version = (e.version != nullptr) ? e.version() : 0;
  if (loadedHere) UnloadEngine(e);
  return version;
}

int TZipArchiver::ZipEngineVersion() {
  return EngineVersion(zipEngine_, true);
}
int TZipArchiver::UnzipEngineVersion() {
  return EngineVersion(unzipEngine_, false);
}

std::string TZipArchiver::PlaceholderPassword() {
  return std::string(79, static_cast<char>(0xB0));
}

// ---------------------------------------------------------------- callback

std::int32_t TZipArchiver::EngineCallback(zipabi::CallbackRecord* record) {
  if (record == nullptr) return 0;
  auto* self = reinterpret_cast<TZipArchiver*>(record->caller);
  if (self == nullptr) return 0;
  try {
    self->Callback(*record);
    bool cancel = self->cancelRequested_;
    self->ProcessMessages();
    return cancel ? -1 : 0;
  } catch (...) {
    // Nothing may unwind through the engine; a failing handler stops the engine's work.
    return -1;
  }
}

void TZipArchiver::Callback(const zipabi::CallbackRecord& r) {
  std::string text(r.text, ::strnlen(r.text, sizeof r.text));
  switch (r.action) {
    case zipabi::kActFileBegins:
      // Names keep "/": it is this platform's separator.
      if (OnProgress) OnProgress(*this, FileBegins, text, r.size);
      break;
    case zipabi::kActBytesDone:
      if (OnProgress) OnProgress(*this, BytesDone, "", r.size);
      break;
    case zipabi::kActBatchDone:
      if (OnProgress) OnProgress(*this, BatchDone, "", 0);
      break;
    case zipabi::kActMessage: {
      while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
      lastMessage_ = text;
      if (r.error != 0) {
        errorCode_ = r.error & 0xFF;
        fullErrorCode_ = r.error;
      }
      if (OnMessage) OnMessage(*this, r.error, text);
      break;
    }
    case zipabi::kActFileCount:
      if (OnProgress) OnProgress(*this, FileCountKnown, "", r.size);
      break;
    case zipabi::kActSizeTotal:
      totalSizeToProcess_ = r.size;
      if (OnProgress) OnProgress(*this, SizeTotalKnown, "", r.size);
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- AddFiles

std::string TZipArchiver::TempFolder() {
  std::string folder = tempDir_;
  if (folder.empty()) {
    const char* env = ::getenv("TMPDIR");
    folder = (env != nullptr && *env != '\0') ? env : "/tmp";
  }
  if (folder.back() != '/') folder += '/';
  if (!tempDir_.empty()) tempDir_ = folder;
  return folder;
}

std::string TZipArchiver::TempArchiveName() {
  std::string templ = TempFolder() + "zipXXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  FileHandle fd(::mkstemp(buf.data()));
  if (!fd.valid()) throw EZipArchiver(zipmsg::kZipException, true);
  // The empty file stays: it holds the unique name (readable by its owner only) until the
  // engine fills it, so nobody can put a file or link there in between.
  return std::string(buf.data());
}

bool TZipArchiver::LoadIfNeeded(Engine& e, bool zip) {
  if (e.handle != nullptr) return false;
  if (zip)
    LoadZipEngine();
  else
    LoadUnzipEngine();
  return e.handle != nullptr;
}

bool TZipArchiver::EngineReady(Engine& e, bool zip, bool& loadedHere) {
  loadedHere = LoadIfNeeded(e, zip);
  if (e.handle != nullptr && e.exec != nullptr && e.version != nullptr) return true;
  // A library without its entry points is treated as one that did not load.
  if (e.handle != nullptr) {
    const int noExec = zip ? zipmsg::kZipNoExec : zipmsg::kUnzipNoExec;
    const int noVersion = zip ? zipmsg::kZipNoVersion : zipmsg::kUnzipNoVersion;
    ReportMessage(e.exec == nullptr ? noExec : noVersion, "");
  }
  return false;
}

namespace {

// Owns the copies that a command block points into, so nothing is freed while the engine runs.
struct BlockStrings {
  std::vector<std::unique_ptr<char[]>> specs;
  std::unique_ptr<char[]> archive;
  std::unique_ptr<char[]> tempDir;
  char password[zipabi::kPasswordBufferSize] = {};

  static std::unique_ptr<char[]> Copy(const std::string& s) {
    auto p = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(p.get(), s.c_str(), s.size() + 1);
    return p;
  }
  void SetPassword(const std::string& pw) {
    std::size_t n = std::min<std::size_t>(pw.size(), zipabi::kPasswordBufferSize - 1);
    std::memcpy(password, pw.data(), n);
  }
  BlockStrings() = default;
  BlockStrings(const BlockStrings&) = delete;
  BlockStrings& operator=(const BlockStrings&) = delete;
  ~BlockStrings() {
    while (!specs.empty()) specs.pop_back();  // last to first
  }
};

zipabi::Addr AddrOf(const void* p) {
  return reinterpret_cast<zipabi::Addr>(p);
}

// The command block of one engine call in the old or the new layout, with everything it
// points into. Built in place: the block holds addresses of its own members.
template <typename Head, typename OldBlock, typename NewBlock, typename Spec>
struct Command {
  BlockStrings strings;
  std::unique_ptr<Spec[]> records;
  std::unique_ptr<OldBlock> oldBlock;  // value-initialised: all zero
  std::unique_ptr<NewBlock> newBlock;
  Head* head = nullptr;
  void* block = nullptr;

  Command(const std::vector<std::string>& specs, const std::string& archive,
          const std::string& password, bool oldLayout) {
    for (const auto& line : specs) strings.specs.push_back(BlockStrings::Copy(line));
    strings.archive = BlockStrings::Copy(archive);
    strings.SetPassword(password);
    const std::size_t count = specs.size();
    if (oldLayout) {
      oldBlock = std::make_unique<OldBlock>();
      head = &oldBlock->head;
      oldBlock->trailer = zipabi::kBlockTrailer;
      for (std::size_t i = 0; i < count; ++i) oldBlock->specs[i] = AddrOf(strings.specs[i].get());
      block = oldBlock.get();
    } else {
      newBlock = std::make_unique<NewBlock>();
      head = &newBlock->head;
      records = std::make_unique<Spec[]>(count);
      for (std::size_t i = 0; i < count; ++i) records[i].fileSpec = AddrOf(strings.specs[i].get());
      newBlock->specArray = AddrOf(records.get());
      newBlock->trailer = zipabi::kBlockTrailer;
      block = newBlock.get();
    }
    head->password = AddrOf(strings.password);
    head->count = static_cast<std::int32_t>(count);
    head->archive = AddrOf(strings.archive.get());
  }
  Command(const Command&) = delete;
  Command& operator=(const Command&) = delete;
};

using ZipCommand =
    Command<zipabi::ZipBlockHead, zipabi::ZipBlockOld, zipabi::ZipBlockNew, zipabi::ZipSpec>;
using UnzipCommand = Command<zipabi::UnzipBlockHead, zipabi::UnzipBlockOld, zipabi::UnzipBlockNew,
                             zipabi::UnzipSpec>;

// The fields both heads share: who calls, how to call back, how much to tell.
template <typename Head>
void SetCaller(Head& head, std::uintptr_t window, const TZipArchiver* caller, std::int32_t version,
               bool trace, bool verbose) {
  head.ownerWindow = window;
  head.caller = AddrOf(caller);
  head.version = version;
  head.callback = reinterpret_cast<zipabi::Addr>(&TZipArchiver::EngineCallback);
  head.trace = zipabi::Flag(trace);
  head.verbose = zipabi::Flag(verbose || trace);
}

}  // namespace

void TZipArchiver::FillZipHead(zipabi::ZipBlockHead& head) const {
  using namespace zipabi;
  SetCaller(head, unattended_ ? 0 : ownerWindow_, this, kZipInterfaceVersion, trace_, verbose_);
  head.encrypt = Flag(addOptions_.Has(AddEncrypt));
  head.hiddenFiles = Flag(addOptions_.Has(AddHiddenFiles));
  head.noSeparateDirs = Flag(!addOptions_.Has(AddSeparateDirs));
  head.always56 = kTrue;
  head.level = addCompLevel_;
  head.noDirNames = Flag(!addOptions_.Has(AddDirNames));
  head.recurse = addOptions_.Has(AddRecurseDirs) ? 0xFFFF : 0;
  head.always80 = kTrue;
  head.forceDos = Flag(addOptions_.Has(AddForceDOS));
  head.move = Flag(addOptions_.Has(AddMove));
  head.update = Flag(addOptions_.Has(AddUpdate));
  head.freshen = Flag(addOptions_.Has(AddFreshen) && !addOptions_.Has(AddUpdate));
  head.zipTime = Flag(addOptions_.Has(AddZipTime));
}

void TZipArchiver::FillUnzipHead(zipabi::UnzipBlockHead& head) const {
  using namespace zipabi;
  SetCaller(head, unattended_ ? 0 : ownerWindow_, this, kUnzipInterfaceVersion, trace_, verbose_);
  head.test = Flag(extrOptions_.Has(ExtrTest));
  head.always40 = kTrue;
  head.update = Flag(extrOptions_.Has(ExtrUpdate));
  head.freshen = Flag(extrOptions_.Has(ExtrFreshen) && !extrOptions_.Has(ExtrUpdate));
  head.dirNames = Flag(extrOptions_.Has(ExtrDirNames));
  head.overwrite = Flag(extrOptions_.Has(ExtrOverWrite));
}

bool TZipArchiver::PackAllowed() {
  if (fSpecArgs_.empty()) return Refuse(zipmsg::kNothingToAdd, false);
  if (zipFilename_.empty()) return Refuse(zipmsg::kNoArchive, false);
  if (unattended_ && addOptions_.Has(AddEncrypt) && password_.empty())
    return Refuse(zipmsg::kNoPassword, false);
  return true;
}

bool TZipArchiver::PrepareSpanning(std::string& temp) {
  if (addOptions_.Has(AddFreshen) || addOptions_.Has(AddUpdate))
    return Refuse(zipmsg::kSpanFreshen, false);
  if (UpperExtension(zipFilename_) == ".EXE") return Refuse(zipmsg::kSpanExe, false);
  try {
    temp = TempArchiveName();
  } catch (const EZipArchiver& e) {
    ReportException(e);
    return false;
  }
  if (verbose_ && OnMessage) OnMessage(*this, 0, "Temporary zipfile: " + temp);
  return true;
}

void TZipArchiver::RunZipEngine(const std::string& target, bool spanning) {
  using namespace zipabi;
  try {
    const bool oldLayout = zipEngine_.version() < kZipNewLayoutVersion;
    if (oldLayout && fSpecArgs_.size() > static_cast<std::size_t>(kOldSpecTableSize))
      throw EZipArchiver(zipmsg::kZipException, true);  // the old table has no more room
    ZipCommand c(fSpecArgs_, target, password_, oldLayout);
    if (!oldLayout && !tempDir_.empty()) {
      c.strings.tempDir = BlockStrings::Copy(tempDir_);
      c.newBlock->tempDir = AddrOf(c.strings.tempDir.get());
    }
    FillZipHead(*c.head);
    commandBlock_ = c.block;
    successCount_ = std::max(0, zipEngine_.exec(commandBlock_));
    if (spanning) {
      if (successCount_ > 0 && WriteSpannedArchive(target, zipFilename_) != 0) successCount_ = 0;
      // The disk in place now is the last one: its part holds the directory.
      if (successCount_ > 0 && !lastSpannedPart_.empty()) zipFilename_ = lastSpannedPart_;
    }
  } catch (const EZipArchiver& e) {
    successCount_ = 0;
    ReportException(e);
  } catch (...) {
    successCount_ = 0;
    ReportMessage(zipmsg::kZipException, "");
  }
}

void TZipArchiver::AddFiles() {
  successCount_ = 0;
  if (!PackAllowed()) return;
  const bool spanning = addOptions_.Has(AddDiskSpan) || addOptions_.Has(AddDiskSpanErase);
  std::string target = zipFilename_;
  // The temporary archive of a spanned set goes whichever way AddFiles ends.
  std::string temp;
  ScopeGuard removeTemp([&temp] {
    if (!temp.empty()) ::unlink(temp.c_str());
  });
  if (spanning) {
    if (!PrepareSpanning(temp)) return;
    target = temp;
  }
  if (zipActive_) return;
  zipActive_ = true;
  cancelRequested_ = false;

  if (UpperExtension(zipFilename_) == ".EXE" && firstEntryOffset_ == 0 && !FileExists(zipFilename_))
    WriteEmptySfx(zipFilename_);
  {
    bool loadedHere = false;
    ScopeGuard finish([&] {
      if (loadedHere) UnloadZipEngine();
      cancelRequested_ = false;
      zipActive_ = false;
    });
    if (!EngineReady(zipEngine_, true, loadedHere)) return;
    RunZipEngine(target, spanning);
    fSpecArgs_.clear();
    commandBlock_ = nullptr;
  }
  if (successCount_ > 0) ReadDirectory();
}

// ---------------------------------------------------------------- ExtractFiles

bool TZipArchiver::UnpackAllowed() {
  if (!FileExists(zipFilename_)) return Refuse(zipmsg::kNoArchive, false);
  if (unzipActive_) return false;
  if (unattended_ && addOptions_.Has(AddEncrypt) && password_.empty()) {
    password_ = PlaceholderPassword();
    ReportMessage(zipmsg::kPasswordPlaceholder, "");
  }
  // Unpacking into whatever the current folder happens to be is never what was asked for.
  if (!extrBaseDir_.empty() && !FolderExists(extrBaseDir_))
    return Refuse(zipmsg::kNoTargetFolder, false, extrBaseDir_);
  return true;
}

void TZipArchiver::RunUnzipEngine(const std::string& source) {
  using namespace zipabi;
  try {
    const bool oldLayout = unzipEngine_.version() < kUnzipNewLayoutVersion;
    if (oldLayout && fSpecArgs_.size() > static_cast<std::size_t>(kOldSpecTableSize))
      throw EZipArchiver(zipmsg::kUnzipException, true);
    UnzipCommand c(fSpecArgs_, source, password_, oldLayout);
    FillUnzipHead(*c.head);
    commandBlock_ = c.block;
    successCount_ = std::max(0, unzipEngine_.exec(commandBlock_));
  } catch (const EZipArchiver& e) {
    successCount_ = 0;
    ReportException(e);
  } catch (...) {
    successCount_ = 0;
    ReportMessage(zipmsg::kUnzipException, "");
  }
}

void TZipArchiver::ExtractFiles() {
  successCount_ = 0;
  if (!UnpackAllowed()) return;
  unzipActive_ = true;
  cancelRequested_ = false;
  bool loadedHere = false;
  std::string gathered;  // the parts of a spanned set copied into one archive
  ScopeGuard finish([&] {
    if (!gathered.empty()) ::unlink(gathered.c_str());
    if (loadedHere) UnloadUnzipEngine();
    cancelRequested_ = false;
    unzipActive_ = false;
  });
  if (!EngineReady(unzipEngine_, false, loadedHere)) return;
  std::string source = zipFilename_;
  if (endRecordDisk_ != 0) {
    if (ReadSpannedArchive(zipFilename_, TempFolder(), gathered) != 0) return;
    source = gathered;
  }
  // Never unpack into a folder other than the one asked for.
  if (!extrBaseDir_.empty() && FolderExists(extrBaseDir_) && ::chdir(extrBaseDir_.c_str()) != 0)
    return ReportMessage(zipmsg::kNoTargetFolder, extrBaseDir_);
  RunUnzipEngine(source);
  fSpecArgs_.clear();
  commandBlock_ = nullptr;
}

}  // namespace pz
