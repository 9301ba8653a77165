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
    e.handle = handle;
    if (trace_) ReportMessage(msgBase + 1, "");
    e.exec = reinterpret_cast<zipabi::ZipEngExecFn>(::dlsym(handle, execName));
    if (e.exec == nullptr) ReportMessage(msgBase + 2, "");
    e.version = reinterpret_cast<zipabi::GetEngVersionFn>(::dlsym(handle, versionName));
    if (e.version == nullptr) ReportMessage(msgBase + 3, "");
  } catch (...) {
  }
}

void TZipArchiver::UnloadEngine(Engine& e) {
  if (e.handle != nullptr) ::dlclose(e.handle);
  e = Engine{};
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
  bool loadedHere = false;
  if (e.handle == nullptr) {
    if (zip)
      LoadZipEngine();
    else
      LoadUnzipEngine();
    loadedHere = e.handle != nullptr;
  }
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

std::string TZipArchiver::TempArchiveName(std::string& tempDir) {
  std::string folder;
  if (!tempDir.empty()) {
    if (tempDir.back() != '/') tempDir += '/';
    folder = tempDir;
  } else {
    const char* env = ::getenv("TMPDIR");
    folder = (env != nullptr && *env != '\0') ? std::string(env) + "/" : "/tmp/";
  }
  std::string templ = folder + "zipXXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) throw EZipArchiver(zipmsg::kZipException, true);
  ::close(fd);
  // The empty file stays: it holds the unique name (readable by its owner only) until the
  // engine fills it, so nobody can put a file or link there in between.
  return std::string(buf.data());
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
  ~BlockStrings() {
    while (!specs.empty()) specs.pop_back();  // last to first
  }
};

zipabi::Addr AddrOf(const void* p) {
  return reinterpret_cast<zipabi::Addr>(p);
}

}  // namespace

void TZipArchiver::AddFiles() {
  using namespace zipabi;
  successCount_ = 0;
  if (fSpecArgs_.empty()) return ReportMessage(zipmsg::kNothingToAdd, "");
  if (zipFilename_.empty()) return ReportMessage(zipmsg::kNoArchive, "");
  if (unattended_ && addOptions_.Has(AddEncrypt) && password_.empty())
    return ReportMessage(zipmsg::kNoPassword, "");
  const bool spanning = addOptions_.Has(AddDiskSpan) || addOptions_.Has(AddDiskSpanErase);
  std::string target = zipFilename_;
  // The temporary archive of a spanned set goes whichever way AddFiles ends.
  struct TempFile {
    std::string path;
    ~TempFile() {
      if (!path.empty()) ::unlink(path.c_str());
    }
  } temp;
  if (spanning) {
    if (addOptions_.Has(AddFreshen) || addOptions_.Has(AddUpdate))
      return ReportMessage(zipmsg::kSpanFreshen, "");
    if (UpperExtension(zipFilename_) == ".EXE") return ReportMessage(zipmsg::kSpanExe, "");
    try {
      target = temp.path = TempArchiveName(tempDir_);
    } catch (const EZipArchiver& e) {
      return ReportException(e);
    }
    if (verbose_ && OnMessage) OnMessage(*this, 0, "Temporary zipfile: " + target);
  }
  if (zipActive_) return;
  zipActive_ = true;
  cancelRequested_ = false;

  if (UpperExtension(zipFilename_) == ".EXE" && firstEntryOffset_ == 0 && !FileExists(zipFilename_))
    WriteEmptySfx(zipFilename_);

  bool loadedHere = false;
  if (zipEngine_.handle == nullptr) {
    LoadZipEngine();
    loadedHere = zipEngine_.handle != nullptr;
  }
  if (zipEngine_.handle == nullptr || zipEngine_.exec == nullptr || zipEngine_.version == nullptr) {
    // A library without its entry points is treated as one that did not load.
    if (zipEngine_.handle != nullptr)
      ReportMessage(zipEngine_.exec == nullptr ? zipmsg::kZipNoExec : zipmsg::kZipNoVersion, "");
    if (loadedHere) UnloadZipEngine();
    zipActive_ = false;
    return;
  }
  const int version = zipEngine_.version();

  try {
    const bool oldLayout = version < kZipNewLayoutVersion;
    const std::size_t count = fSpecArgs_.size();
    if (oldLayout && count > static_cast<std::size_t>(kOldSpecTableSize))
      throw EZipArchiver(zipmsg::kZipException, true);  // the old table has no more room
    BlockStrings s;
    for (const auto& line : fSpecArgs_) s.specs.push_back(BlockStrings::Copy(line));
    s.archive = BlockStrings::Copy(target);
    if (!tempDir_.empty()) s.tempDir = BlockStrings::Copy(tempDir_);
    s.SetPassword(password_);

    std::unique_ptr<ZipSpec[]> records;
    std::unique_ptr<ZipBlockOld> oldBlock;
    std::unique_ptr<ZipBlockNew> newBlock;
    ZipBlockHead* head;
    if (oldLayout) {
      oldBlock = std::make_unique<ZipBlockOld>();  // value-initialised: all zero
      head = &oldBlock->head;
      oldBlock->trailer = kBlockTrailer;
      for (std::size_t i = 0; i < count; ++i) oldBlock->specs[i] = AddrOf(s.specs[i].get());
      commandBlock_ = oldBlock.get();
    } else {
      newBlock = std::make_unique<ZipBlockNew>();
      head = &newBlock->head;
      records = std::make_unique<ZipSpec[]>(count);
      for (std::size_t i = 0; i < count; ++i) records[i].fileSpec = AddrOf(s.specs[i].get());
      newBlock->tempDir = s.tempDir ? AddrOf(s.tempDir.get()) : 0;
      newBlock->specArray = AddrOf(records.get());
      newBlock->trailer = kBlockTrailer;
      commandBlock_ = newBlock.get();
    }
    head->ownerWindow = unattended_ ? 0 : ownerWindow_;
    head->caller = AddrOf(this);
    head->version = kZipInterfaceVersion;
    head->callback = reinterpret_cast<Addr>(&TZipArchiver::EngineCallback);
    head->trace = Flag(trace_);
    head->password = AddrOf(s.password);
    head->encrypt = Flag(addOptions_.Has(AddEncrypt));
    head->hiddenFiles = Flag(addOptions_.Has(AddHiddenFiles));
    head->noSeparateDirs = Flag(!addOptions_.Has(AddSeparateDirs));
    head->verbose = Flag(verbose_ || trace_);
    head->always56 = kTrue;
    head->level = addCompLevel_;
    head->noDirNames = Flag(!addOptions_.Has(AddDirNames));
    head->recurse = addOptions_.Has(AddRecurseDirs) ? 0xFFFF : 0;
    head->always80 = kTrue;
    head->forceDos = Flag(addOptions_.Has(AddForceDOS));
    head->move = Flag(addOptions_.Has(AddMove));
    head->update = Flag(addOptions_.Has(AddUpdate));
    head->freshen = Flag(addOptions_.Has(AddFreshen) && !addOptions_.Has(AddUpdate));
    head->zipTime = Flag(addOptions_.Has(AddZipTime));
    head->count = static_cast<std::int32_t>(count);
    head->archive = AddrOf(s.archive.get());

    successCount_ = zipEngine_.exec(commandBlock_);
    if (successCount_ < 0) successCount_ = 0;
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
  fSpecArgs_.clear();
  commandBlock_ = nullptr;
  if (loadedHere) UnloadZipEngine();
  cancelRequested_ = false;
  zipActive_ = false;
  if (successCount_ > 0) ReadDirectory();
}

// ---------------------------------------------------------------- ExtractFiles

void TZipArchiver::ExtractFiles() {
  using namespace zipabi;
  successCount_ = 0;
  if (!FileExists(zipFilename_)) return ReportMessage(zipmsg::kNoArchive, "");
  if (unzipActive_) return;
  if (unattended_ && addOptions_.Has(AddEncrypt) && password_.empty()) {
    password_ = PlaceholderPassword();
    ReportMessage(zipmsg::kPasswordPlaceholder, "");
  }
  // Unpacking into whatever the current folder happens to be is never what was asked for.
  if (!extrBaseDir_.empty() && !FolderExists(extrBaseDir_))
    return ReportMessage(zipmsg::kNoTargetFolder, extrBaseDir_);
  unzipActive_ = true;
  cancelRequested_ = false;

  bool loadedHere = false;
  if (unzipEngine_.handle == nullptr) {
    LoadUnzipEngine();
    loadedHere = unzipEngine_.handle != nullptr;
  }
  if (unzipEngine_.handle == nullptr || unzipEngine_.exec == nullptr ||
      unzipEngine_.version == nullptr) {
    if (unzipEngine_.handle != nullptr)
      ReportMessage(unzipEngine_.exec == nullptr ? zipmsg::kUnzipNoExec : zipmsg::kUnzipNoVersion,
                    "");
    if (loadedHere) UnloadUnzipEngine();
    unzipActive_ = false;
    return;
  }

  std::string source = zipFilename_;
  std::string gathered;
  if (endRecordDisk_ != 0) {
    std::string folder = tempDir_;
    if (folder.empty()) {
      const char* env = ::getenv("TMPDIR");
      folder = (env != nullptr && *env != '\0') ? env : "/tmp";
    }
    if (folder.back() != '/') folder += '/';
    if (!tempDir_.empty()) tempDir_ = folder;
    if (ReadSpannedArchive(zipFilename_, folder, gathered) != 0) {
      if (loadedHere) UnloadUnzipEngine();
      cancelRequested_ = false;
      unzipActive_ = false;
      return;
    }
    source = gathered;
  }

  if (!extrBaseDir_.empty() && FolderExists(extrBaseDir_)) {
    if (::chdir(extrBaseDir_.c_str()) != 0) {
      // Never unpack into a folder other than the one asked for.
      ReportMessage(zipmsg::kNoTargetFolder, extrBaseDir_);
      if (!gathered.empty()) ::unlink(gathered.c_str());
      if (loadedHere) UnloadUnzipEngine();
      cancelRequested_ = false;
      unzipActive_ = false;
      return;
    }
  }

  try {
    const int version = unzipEngine_.version();
    const bool oldLayout = version < kUnzipNewLayoutVersion;
    const std::size_t count = fSpecArgs_.size();
    if (oldLayout && count > static_cast<std::size_t>(kOldSpecTableSize))
      throw EZipArchiver(zipmsg::kUnzipException, true);
    BlockStrings s;
    for (const auto& line : fSpecArgs_) s.specs.push_back(BlockStrings::Copy(line));
    s.archive = BlockStrings::Copy(source);
    s.SetPassword(password_);

    std::unique_ptr<UnzipSpec[]> records;
    std::unique_ptr<UnzipBlockOld> oldBlock;
    std::unique_ptr<UnzipBlockNew> newBlock;
    UnzipBlockHead* head;
    if (oldLayout) {
      oldBlock = std::make_unique<UnzipBlockOld>();
      head = &oldBlock->head;
      oldBlock->trailer = kBlockTrailer;
      for (std::size_t i = 0; i < count; ++i) oldBlock->specs[i] = AddrOf(s.specs[i].get());
      commandBlock_ = oldBlock.get();
    } else {
      newBlock = std::make_unique<UnzipBlockNew>();
      head = &newBlock->head;
      records = std::make_unique<UnzipSpec[]>(count);
      for (std::size_t i = 0; i < count; ++i) records[i].fileSpec = AddrOf(s.specs[i].get());
      newBlock->specArray = AddrOf(records.get());
      newBlock->trailer = kBlockTrailer;
      commandBlock_ = newBlock.get();
    }
    head->ownerWindow = unattended_ ? 0 : ownerWindow_;
    head->caller = AddrOf(this);
    head->version = kUnzipInterfaceVersion;
    head->callback = reinterpret_cast<Addr>(&TZipArchiver::EngineCallback);
    head->trace = Flag(trace_);
    head->password = AddrOf(s.password);
    head->test = Flag(extrOptions_.Has(ExtrTest));
    head->always40 = kTrue;
    head->verbose = Flag(verbose_ || trace_);
    head->update = Flag(extrOptions_.Has(ExtrUpdate));
    head->freshen = Flag(extrOptions_.Has(ExtrFreshen) && !extrOptions_.Has(ExtrUpdate));
    head->dirNames = Flag(extrOptions_.Has(ExtrDirNames));
    head->overwrite = Flag(extrOptions_.Has(ExtrOverWrite));
    head->count = static_cast<std::int32_t>(count);
    head->archive = AddrOf(s.archive.get());

    successCount_ = unzipEngine_.exec(commandBlock_);
    if (successCount_ < 0) successCount_ = 0;
  } catch (const EZipArchiver& e) {
    successCount_ = 0;
    ReportException(e);
  } catch (...) {
    successCount_ = 0;
    ReportMessage(zipmsg::kUnzipException, "");
  }
  if (!gathered.empty()) ::unlink(gathered.c_str());
  fSpecArgs_.clear();
  commandBlock_ = nullptr;
  if (loadedHere) UnloadUnzipEngine();
  cancelRequested_ = false;
  unzipActive_ = false;
}

}  // namespace pz
