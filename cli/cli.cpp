#include "cli/cli.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/signals.h"
#include "cli/terminal.h"
#include "engine/checks.h"
#include "engine/compress.h"
#include "engine/engine.h"
#include "engine/filecopy.h"
#include "engine/header.h"
#include "engine/recoveryuse.h"
#include "engine/segments.h"
#include "lang/language.h"
#include "lang/textblocks.h"
#include "platform/os.h"
#include "pz_version.h"
#include "recovery/recoveryset.h"
#include "zip/ziparchiver.h"

namespace pz {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  parzello-cli split SOURCE [--to DIR] [--name NAME]\n"
    "               [--size 1.44M|1.2M|720K|360K|100M|auto|BYTES]\n"
    "               [--compress strong|weak] [--password] [--password-file FILE]\n"
    "               [--delete-source] [--recovery PERCENT] [--with-joiner]\n"
    "  parzello-cli join FIRST [--to DIR] [--name NAME] [--password-file FILE]\n"
    "               [--overwrite]\n"
    "  parzello-cli info FIRST\n"
    "  parzello-cli verify FIRST\n"
    "  parzello-cli repair FIRST\n"
    "\n"
    "Options for every command:\n"
    "  --lang FILE.lng   language of the messages (default: German when LANG starts\n"
    "                    with \"de\", else English)\n"
    "  --quiet           print nothing but errors\n"
    "  --help, --version\n"
    "\n"
    "split cuts SOURCE into SOURCE-NAME.PZX000, .PZX001, ... in DIR (default: the\n"
    "source's folder). --size takes a preset, \"auto\" (fill each volume and ask for the\n"
    "next) or a number of bytes per segment file. join rebuilds the file from its first\n"
    "segment; it never replaces an existing file unless --overwrite is given. info shows\n"
    "what a first segment records and which segments are present.\n"
    "split writes NAME.PZX.sha256 (sha256sum format) beside the last segment; join\n"
    "checks every segment and the result against it. verify reads every segment of\n"
    "the set without joining it and checks each against its line in that file, and\n"
    "the whole file's line too unless the set is packed; it asks for segments in\n"
    "other folders as join does. A packed set is unpacked under its stored name:\n"
    "join refuses --name for it.\n"
    "--recovery PERCENT (1 to 100; 10 is usual) also writes PAR2 recovery files there,\n"
    "NAME.PZX.par2 and NAME.PZX.volF+C.par2, with PERCENT of the data in recovery blocks;\n"
    "10 percent rebuilds at least one whole lost or damaged segment, and the split says\n"
    "how many. join rebuilds a missing or damaged segment from them and goes on; repair\n"
    "only rebuilds; verify says what a repair could do. Debian's par2 reads them too.\n"
    "--with-joiner also writes parzello-join.html beside the checksum file: a page that\n"
    "joins the set in any browser, for recipients without Parzello.\n"
    "Volume prompts read one line: Enter confirms the path shown, other text is a new\n"
    "path or the folder to look in, end of input cancels. Exit status: 0 done, 1 failed\n"
    "or cancelled, 2 usage, 3 not verified: joined (verify: nothing found wrong), but the\n"
    "checksum file could not confirm every segment and the whole file (verify: or there\n"
    "is none).\n";

struct Args {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> values;  // options with a value
  std::map<std::string, bool> flags;          // options without one
};

const std::vector<std::string> kValueOptions = {
    "--to", "--name", "--size", "--password-file", "--lang", "--compress", "--recovery"};
const std::vector<std::string> kFlagOptions = {"--password", "--delete-source", "--with-joiner",
                                               "--quiet",    "--help",          "--version",
                                               "--overwrite"};

// The options each command takes besides --lang, --quiet, --help and --version.
struct CommandOptions {
  const char* command;
  std::vector<std::string> options;
};
const std::vector<CommandOptions> kCommandOptions = {
    {"split",
     {"--to", "--name", "--size", "--compress", "--password", "--password-file", "--delete-source",
      "--recovery", "--with-joiner"}},
    {"join", {"--to", "--name", "--password-file", "--overwrite"}},
    {"info", {}},
    {"verify", {}},
    {"repair", {}},
};
const std::vector<std::string> kCommonOptions = {"--lang", "--quiet", "--help", "--version"};

bool Contains(const std::vector<std::string>& v, const std::string& s) {
  for (const auto& x : v) {
    if (x == s) return true;
  }
  return false;
}

std::optional<Args> Parse(int argc, char** argv, std::string& error) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasInlineValue = true;
      }
      if (Contains(kValueOptions, arg)) {
        if (!hasInlineValue) {
          if (i + 1 >= argc) {
            error = arg + " needs a value";
            return std::nullopt;
          }
          value = argv[++i];
        }
        a.values[arg] = value;
      } else if (Contains(kFlagOptions, arg) && !hasInlineValue) {
        a.flags[arg] = true;
      } else {
        error = "unknown option " + arg;
        return std::nullopt;
      }
    } else if (a.command.empty()) {
      a.command = arg;
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

// The folder of an absolute path; "/" for a file in the root.
std::string FolderOf(const std::string& path) {
  const std::string folder = FolderPart(path);
  return folder.empty() ? "/" : folder;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class CliLanguageUi : public LanguageUi {
 public:
  explicit CliLanguageUi(std::FILE* err) : err_(err) {}
  void LanguageError(const std::string& text) override { std::fprintf(err_, "%s\n", text.c_str()); }
  void LanguageBusy(bool) override {}
  bool RunLanguageDialog(TPXLanguage&) override { return false; }

 private:
  std::FILE* err_;
};

// Loads the language of the messages; false when no language file could be read.
bool LoadLanguage(TPXLanguage& lang, const Args& a, const std::string& programmPfad) {
  std::string folder = DataFolder(programmPfad, kLanguageFolder);
  std::string file;
  if (auto it = a.values.find("--lang"); it != a.values.end()) {
    file = it->second;
    if (file.find('/') != std::string::npos) {
      folder = FolderPart(TerminalInteraction::Absolute(file));
      file = FileNamePart(file);
    }
  } else {
    const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string locale;
    for (const char* v : vars) {
      const char* value = std::getenv(v);
      if (value != nullptr && *value != '\0') {
        locale = value;
        break;
      }
    }
    file = locale.rfind("de", 0) == 0 ? "Deutsch.lng" : "English.lng";
  }
  lang.SetPath(folder);
  lang.SetFileName(file);
  if (lang.TextCount() == 0 && !a.values.count("--lang")) {
    lang.SetFileName("English.lng");
  }
  return lang.TextCount() > 0;
}

// The name as stored, with control characters shown as escapes: a crafted header must not
// reach the terminal with its own control sequences.
std::string Escaped(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    // C1 controls (U+0080 to U+009F) are the UTF-8 bytes C2 80 to C2 9F.
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : c;
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", code);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// The word verify prints after a segment's name.
tb::Block VerifyWord(SegmentVerdict::Status status) {
  using S = SegmentVerdict::Status;
  switch (status) {
    case S::Matches:
      return tb::kVerifyMatches;
    case S::Differs:
      return tb::kVerifyDiffers;
    case S::NotListed:
      return tb::kVerifyNotListed;
    case S::Conflicting:
      return tb::kVerifyConflicting;
    case S::Beyond:
      return tb::kVerifyBeyond;
    case S::Missing:
      break;
  }
  return tb::kVerifyMissing;
}

// The first line of a file without its line end; an empty file has an empty one. False (errno
// set) when the file cannot be read, a folder included.
bool ReadFirstLine(const std::string& file, std::string& line) {
  const FileHandle f(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!f.valid()) return false;
  line.clear();
  char c = 0;
  for (;;) {
    const ssize_t n = ::read(f.get(), &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0 || c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

class Cli {
 public:
  Cli(const Args& a, TPXLanguage& lang, TerminalInteraction& ui, std::FILE* out,
      const std::string& programmPfad)
      : a_(a), lang_(lang), ui_(ui), out_(out), ctx_(ui, lang, programmPfad) {
    zip_.SetDLLDirectory(DataFolder(programmPfad, kDllFolder));
    zip_.SetLanguageCodeLetter(lang.CodeLetter());
    // An archive of this run's own beside the window's "temp.pzx": two runs never share one.
    // What runs that were killed left there goes first.
    const std::string tempFolder = FolderPart(TempArchivPfad(programmPfad));
    RemoveLeftoverArchives(tempFolder);
    ctx_.tempArchive = RunTempArchive(tempFolder);
    signals::RegisterWithCompanions(ctx_.tempArchive);
    ctx_.dekomprimieren = [this](const std::string& archive, const std::string& folder,
                                 const std::string& member) {
      return Datei_Dekomprimieren(archive, folder, ctx_, zip_, member);
    };
  }
  // The temporary archive holds the user's data: it goes when the command that made it ends.
  ~Cli() {
    const std::string archive = ctx_.TempArchive();
    if (ownsArchive_ && FileExists(archive)) DeleteFile(archive);
  }

  int Split();
  int Join();
  std::optional<int> ChooseJoinName(const std::string& first, std::string& name);
  int Info();
  int Verify();
  int Repair();

 private:
  std::string Text(tb::Block b) const { return lang_.GetText(b); }
  std::string Value(const std::string& key, const std::string& fallback = "") const {
    auto it = a_.values.find(key);
    return it == a_.values.end() ? fallback : it->second;
  }
  bool Flag(const std::string& key) const { return a_.flags.count(key) != 0; }
  bool ReportCheck(const std::optional<CheckFailure>& failure) {
    if (!failure) return false;
    ui_.ShowMessage(Text(failure->block), failure->icon);
    return true;
  }
  bool UsePasswordFile();
  // The size of a split: a preset, "auto" or a number of bytes.
  struct SplitSize {
    std::int64_t bytes = PresetBytes(SizePreset::Floppy144);
    bool automatic = false;
  };
  // --size; false (said) when it is none of these.
  bool ParseSize(SplitSize& size);
  // --recovery: a percentage from 1 to 100, 0 when not given; false (said) for anything else.
  bool ParseRecovery(int& percent);
  // What the recovery files found and did, said; true when nothing is left to repair.
  bool SayRepair(const RepairResult& result, RepairMode mode);
  // Packs the source into this run's archive when --compress asks for it; false when that failed.
  bool PackIfAsked(const std::string& source, const std::string& compress, bool& komprimiert);
  // False (said) for an existing file that cannot be opened.
  bool Readable(const std::string& path);
  // info's lines on encryption: encrypted or not, how costly a guess is, or only gated.
  void PrintEncryption(const std::string& first, const HeaderInfo& info);
  // info's list of the segments present and how much of the data they hold.
  int ListSegments(const std::string& first, std::int64_t dataSize);
  // Checks a packed split's archive, splits, and deletes the source when asked to.
  int RunSplit(const SplitJob& job, bool packen);
  // The header of the first segment; reports why there is none and yields nullopt.
  std::optional<HeaderInfo> FirstSegmentHeader(const std::string& path);

  const Args& a_;
  TPXLanguage& lang_;
  TerminalInteraction& ui_;
  std::FILE* out_;
  EngineContext ctx_;
  TZipArchiver zip_;
  bool ownsArchive_ = false;
};

bool Cli::UsePasswordFile() {
  const std::string file = Value("--password-file");
  if (file.empty()) return true;
  std::string line;
  if (!ReadFirstLine(file, line)) {
    ui_.ShowMessage(Text(tb::kReadFailed) + " \"" + file + "\": " + LastErrorText(),
                    MsgIcon::Error);
    return false;
  }
  // As end of input at the prompt: no password is no reason to go on without one.
  const ScopeGuard wipe([&] { age::Wipe(line); });
  if (line.empty()) {
    ui_.ShowMessage(Text(tb::kPasswordFileEmpty) + " \"" + file + "\"", MsgIcon::Error);
    return false;
  }
  if (line.size() > kMaxPassphraseBytes) {
    ui_.ShowMessage(Text(tb::kPasswordLimit), MsgIcon::Error);
    return false;
  }
  ui_.SetPassword(line);
  return true;
}

std::optional<HeaderInfo> Cli::FirstSegmentHeader(const std::string& path) {
  const HeaderRead read = ReadSegmentHeader(path);
  if (read.status == HeaderRead::Status::Valid) return read.info;
  ui_.ShowMessage(HeaderRefusal(read, path, lang_, tb::kNotAFirstSegment), MsgIcon::Error);
  return std::nullopt;
}

bool Cli::ParseSize(SplitSize& size) {
  const auto it = a_.values.find("--size");
  if (it == a_.values.end()) return true;
  bool preset = false;
  for (const auto& p : kPresets) {
    if (Lower(it->second) == Lower(p.cliName)) {
      size.bytes = p.bytes;
      size.automatic = p.preset == SizePreset::Auto;
      preset = true;
    }
  }
  if (preset) return true;
  const std::optional<std::int64_t> bytes = HandGroesse(it->second);
  if (!bytes) {
    ui_.ShowMessage("parzello-cli: --size takes a preset, \"auto\" or a number of bytes from " +
                        std::to_string(kMinSegmentSize) + " to " + std::to_string(kMaxSegmentSize) +
                        ", not \"" + it->second + "\"",
                    MsgIcon::Error);
    return false;
  }
  size.bytes = *bytes;
  return true;
}

bool Cli::ParseRecovery(int& percent) {
  percent = 0;
  const auto it = a_.values.find("--recovery");
  if (it == a_.values.end()) return true;
  const std::string& v = it->second;
  if (!v.empty() && v.size() <= 3 && std::all_of(v.begin(), v.end(), ::isdigit))
    percent = std::stoi(v);
  if (percent >= 1 && percent <= recovery::kMaxPercent) return true;
  ui_.ShowMessage("parzello-cli: --recovery takes a percentage from 1 to 100, not \"" + v + "\"",
                  MsgIcon::Error);
  return false;
}

bool Cli::SayRepair(const RepairResult& result, RepairMode mode) {
  const std::string text = RepairText(result, mode, lang_);
  const bool done = result.present && result.failure.empty() &&
                    (result.intact || !result.rebuilt.empty() ||
                     (mode == RepairMode::Report && result.Repairable()));
  if (!text.empty()) ui_.ShowMessage(text, done ? MsgIcon::Information : MsgIcon::Warning);
  return done;
}

bool Cli::PackIfAsked(const std::string& source, const std::string& compress, bool& komprimiert) {
  komprimiert = false;
  if (compress.empty() || !FileExists(source)) return true;
  ownsArchive_ = true;
  komprimiert =
      Komprimierung_Einleiten_Falls_Noetig({true, true, compress == "strong", source}, ctx_, zip_);
  // Packing was asked for and failed: cut nothing rather than more than expected.
  return komprimiert;
}

bool Cli::Readable(const std::string& path) {
  if (!FileExists(path) || FileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC)).valid())
    return true;
  ui_.ShowMessage(Text(tb::kReadFailed) + " \"" + path + "\": " + LastErrorText(), MsgIcon::Error);
  return false;
}

int Cli::RunSplit(const SplitJob& job, bool packen) {
  // The archive is read back before it is cut: only a checked split may delete the source.
  bool ok =
      Gepackte_Trennung_Pruefen(packen, job.komprimiert, job.quelle, job.quellName, ctx_, zip_);
  SplitReport report;
  if (ok) {
    ui_.StatusText(Text(tb::kSplitBusy) + "...");
    ok = Datei_Trennen(job, ctx_, &report);
  }
  ui_.StatusText("");
  if (!ok) {
    ui_.ShowMessage(Text(tb::kSplitFailed), MsgIcon::Warning);
    return kExitFailed;
  }
  if (signals::Received() != 0) return kExitFailed;  // asked to stop: the source stays
  const std::string detail = SplitReportText(report, lang_);
  if (detail.empty())
    ui_.ShowMessage(Text(tb::kSplitDone), MsgIcon::Information);
  else
    ui_.ShowMessage(Text(tb::kSplitDone) + "\n" + detail, MsgIcon::Warning);
  if (Flag("--delete-source") && !Quelle_Loeschen(job.quellName, ctx_)) return kExitFailed;
  return kExitOk;
}

int Cli::Split() {
  if (a_.positional.size() != 1) return kExitUsage;
  const std::string source = TerminalInteraction::Absolute(a_.positional[0]);
  SplitSize size;
  if (!ParseSize(size)) return kExitUsage;
  int recoveryPercent = 0;
  if (!ParseRecovery(recoveryPercent)) return kExitUsage;
  const std::string compress = Lower(Value("--compress"));
  if (!compress.empty() && compress != "strong" && compress != "weak") return kExitUsage;

  CheckInput check;
  check.split = true;
  check.source = source;
  check.targetFolder = TerminalInteraction::Absolute(Value("--to", FolderOf(source)));
  check.targetName = Value("--name", FileNamePart(source));
  // Packing comes first, as in the window: the count is that of the archive.
  bool komprimiert = false;
  if (!PackIfAsked(source, compress, komprimiert)) return kExitFailed;
  const std::string toCut = komprimiert ? ctx_.TempArchive() : source;
  // A source that cannot be read is said once, not by every step that measures it.
  if (!Readable(toCut)) return kExitFailed;
  if (!source.empty() && FileExists(source) && !size.automatic)
    check.segmentCount =
        Anzahl_Trennungen_Berechnen(size.bytes, Dateigroesse_Ermitteln(toCut, ctx_));
  if (ReportCheck(CheckInputs(check))) return kExitFailed;

  const bool protect = Flag("--password") || a_.values.count("--password-file");
  if (!UsePasswordFile()) return kExitFailed;

  SplitJob job;
  job.quelle = toCut;
  job.quellName = source;
  job.komprimiert = komprimiert;
  job.passwort = protect;
  job.zielPfad = check.targetFolder;
  job.zielName = check.targetName;
  job.trennGroesse = size.bytes;
  job.automatisch = size.automatic;
  job.recoveryPercent = recoveryPercent;
  if (Flag("--with-joiner"))
    ctx_.joinerPage = JoinPath(DataFolder(ctx_.programmPfad, kWebFolder), kJoinerPageName);
  return RunSplit(job, !compress.empty());
}

// The rebuilt file's name: --name, else the stored name as it can stand; an exit status when
// neither can be used.
std::optional<int> Cli::ChooseJoinName(const std::string& first, std::string& name) {
  if (!FileExists(first)) return std::nullopt;  // the checks say what is missing
  const auto info = FirstSegmentHeader(first);
  if (!info) return kExitFailed;
  const std::string stored = PlainFileName(info->name);
  // The member is unpacked under the name it was packed with: another name cannot be kept.
  if (info->compressed && !name.empty() && name != stored) {
    ui_.ShowMessage(Text(tb::kNameWithPackedSet) + " \"" + Escaped(stored) + "\"", MsgIcon::Error);
    return kExitUsage;
  }
  const bool given = !name.empty();
  if (!given) name = stored;
  if (name.empty()) {
    ui_.ShowMessage(Text(tb::kStoredNameUnusable), MsgIcon::Error);
    return kExitFailed;
  }
  // Only the stored name can have had something replaced; a name the user gave is kept as given.
  if (!given && name != info->name) {
    ui_.ShowMessage(Text(tb::kStoredNameReplaced) + " \"" + Escaped(info->name) + "\" -> \"" +
                        Escaped(name) + "\"",
                    MsgIcon::Warning);
  }
  return std::nullopt;
}

int Cli::Join() {
  if (a_.positional.size() != 1) return kExitUsage;
  const std::string first = TerminalInteraction::Absolute(a_.positional[0]);

  // A first segment that is missing or damaged is rebuilt before anything reads it.
  if (ReadSegmentHeader(first).status != HeaderRead::Status::Valid &&
      FileExists(RecoveryIndexPath(first)))
    SayRepair(UseRecovery(first, TerminalInteraction::Absolute(Value("--to", FolderOf(first))),
                          RepairMode::Repair, ctx_),
              RepairMode::Repair);

  CheckInput check;
  check.split = false;
  check.source = first;
  check.targetFolder = TerminalInteraction::Absolute(Value("--to", FolderOf(first)));
  check.targetName = Value("--name");
  if (const std::optional<int> refused = ChooseJoinName(first, check.targetName)) return *refused;
  if (ReportCheck(CheckInputs(check))) return kExitFailed;
  if (!UsePasswordFile()) return kExitFailed;
  const HeaderRead read = ReadSegmentHeader(first);
  if (read.status == HeaderRead::Status::Valid) ownsArchive_ = read.info.compressed;
  const std::string target = JoinPath(check.targetFolder, check.targetName);
  // Refused before any password is asked; a packed set never replaces a file (checked later).
  if (!Flag("--overwrite") && !ownsArchive_ && PathExists(target)) {
    ui_.ShowMessage(Text(tb::kTargetExists) + " \"" + target + "\"\n" + Text(tb::kOverwriteHint),
                    MsgIcon::Error);
    return kExitFailed;
  }

  JoinJob job{first, check.targetFolder, check.targetName, Flag("--overwrite")};
  JoinReport report;
  ui_.StatusText(Text(tb::kJoinBusy) + "...");
  const bool ok = Trennsegmente_Zusammenfuehren(job, ctx_, &report);
  ui_.StatusText("");
  const std::string detail = JoinReportText(report, ok, lang_);
  const std::string text = Text(ok ? tb::kJoinDone : tb::kJoinFailed);
  // Not verified against a checksum file that is there: said even with --quiet.
  const bool notVerified = ok && report.verdict == Verdict::Incomplete;
  ui_.ShowMessage(detail.empty() ? text : text + "\n" + detail,
                  ok && !notVerified ? MsgIcon::Information : MsgIcon::Warning);
  if (!ok) return kExitFailed;
  return notVerified ? kExitNotVerified : kExitOk;
}

int Cli::Info() {
  if (a_.positional.size() != 1) return kExitUsage;
  const std::string first = TerminalInteraction::Absolute(a_.positional[0]);
  if (!FileExists(first)) {
    ui_.ShowMessage(Text(tb::kJoinSegmentMissing) + " \"" + first + "\"", MsgIcon::Error);
    return kExitFailed;
  }
  const auto info = FirstSegmentHeader(first);
  if (!info) return kExitFailed;
  auto yesNo = [&](bool b) { return Text(b ? tb::kYes : tb::kNo); };
  std::fprintf(out_, "%s: %s\n", Text(tb::kInfoStoredName).c_str(), Escaped(info->name).c_str());
  std::fprintf(out_, "%s: %s\n", Text(tb::kInfoCompressed).c_str(),
               yesNo(info->compressed).c_str());
  std::fprintf(out_, "%s: %s\n", Text(tb::kInfoPassword).c_str(), yesNo(info->password).c_str());
  PrintEncryption(first, *info);
  std::fprintf(out_, "%s: %lld\n", Text(tb::kInfoDataSize).c_str(),
               static_cast<long long>(info->dataSize));
  if (info->dataSize > kClassicMaxDataSize) {
    std::fprintf(out_, "%s\n", Text(tb::kNeedsVersion12).c_str());
  }
  const std::string setName = SetNameOfSegment(first);
  const std::string sums =
      ExistingInAnyCase(JoinPath(FolderOf(first), ChecksumFileName(setName)), setName.size() + 1);
  std::fprintf(
      out_, "%s: %s\n", Text(tb::kInfoChecksumFile).c_str(),
      FileExists(sums) ? (Text(tb::kYes) + " (" + sums + ")").c_str() : Text(tb::kNo).c_str());
  std::fprintf(out_, "%s\n", Text(tb::kInfoJoiner).c_str());
  std::fprintf(out_, "%s:\n", Text(tb::kInfoSegments).c_str());
  return ListSegments(first, info->dataSize);
}

void Cli::PrintEncryption(const std::string& first, const HeaderInfo& info) {
  std::fprintf(out_, "%s: %s", Text(tb::kInfoEncrypted).c_str(),
               Text(info.encrypted ? tb::kYes : tb::kNo).c_str());
  if (info.encrypted) {
    // The cost of each guess, never anything that helps one.
    const int workFactor = EncryptionWorkFactor(first, ctx_);
    std::fprintf(out_, " (%s", Text(tb::kInfoEncryptedKind).c_str());
    if (workFactor > 0)
      std::fprintf(out_, ", %s 2^%d", Text(tb::kInfoWorkFactor).c_str(), workFactor);
    std::fputc(')', out_);
  }
  std::fputc('\n', out_);
  if (info.password && !info.encrypted) std::fprintf(out_, "%s\n", Text(tb::kGatedOnly).c_str());
}

int Cli::ListSegments(const std::string& first, std::int64_t dataSize) {
  // Follows the name chain as the join does, until the recorded size is covered.
  std::int64_t total = 0;
  std::string path = first;
  std::string surplus;  // the segment in which the data passes the recorded size
  for (std::uint32_t n = 0; n <= kLastSegmentNumber; ++n) {
    if (n > 0) {
      path = SegmentFinden(SegmentPfadAusVorgaenger(path, static_cast<std::uint16_t>(n)));
      if (!FileExists(path)) break;
    }
    std::int64_t data = std::max<std::int64_t>(
        0, FileSize(path) - (n == 0 ? static_cast<std::int64_t>(kHeaderSize) : 0));
    total += data;
    std::fprintf(out_, "  %s  %lld\n", Escaped(path).c_str(), static_cast<long long>(data));
    if (total > dataSize) surplus = path;
    if (total >= dataSize) break;
  }
  std::fprintf(out_, "%s: %lld / %lld\n", Text(tb::kInfoTotal).c_str(),
               static_cast<long long>(total), static_cast<long long>(dataSize));
  const bool complete = total == dataSize;
  if (!surplus.empty()) {
    std::fprintf(out_, "%s \"%s\"\n", Text(tb::kInfoSurplus).c_str(), Escaped(surplus).c_str());
  } else {
    std::fprintf(out_, "%s\n", Text(complete ? tb::kInfoComplete : tb::kInfoIncomplete).c_str());
  }
  return complete ? kExitOk : kExitFailed;
}

int Cli::Verify() {
  if (a_.positional.size() != 1) return kExitUsage;
  const std::string first = TerminalInteraction::Absolute(a_.positional[0]);
  if (!FileExists(first)) {
    ui_.ShowMessage(Text(tb::kJoinSegmentMissing) + " \"" + first + "\"", MsgIcon::Error);
    return kExitFailed;
  }
  const VerifyReport report = Trennsegmente_Pruefen(first, ctx_);
  std::fprintf(out_, "%s: %s\n", Text(tb::kInfoChecksumFile).c_str(),
               report.checksumPath.empty() ? Text(tb::kNo).c_str() : report.checksumPath.c_str());
  for (const SegmentVerdict& s : report.segments) {
    std::fprintf(out_, "  %s: %s\n", Escaped(s.path).c_str(), Text(VerifyWord(s.status)).c_str());
  }
  if (report.wholeChecked) {
    const bool differs = !report.wholeMatches;
    std::fprintf(out_, "  %s (%s): %s\n", Escaped(report.wholeName).c_str(),
                 Text(tb::kVerifyWholeFile).c_str(),
                 Text(differs ? tb::kVerifyDiffers : tb::kVerifyMatches).c_str());
  }
  SayRepair(UseRecovery(first, "", RepairMode::Report, ctx_), RepairMode::Report);
  // The same account of what was checked as the join gives.
  std::string text = Text(report.allGood ? tb::kVerifyAllGood : tb::kVerifyNotAllGood);
  if (report.checksumPath.empty())
    text += "\n" + Text(tb::kJoinNotVerified);
  else if (report.notVerified)
    text += "\n" + Text(tb::kJoinPartlyVerified);
  if (!report.complete) text += "\n" + Text(tb::kInfoIncomplete);
  if (const std::string account = CheckAccountText(report.account, lang_); !account.empty())
    text += "\n" + account;
  ui_.ShowMessage(text, report.allGood ? MsgIcon::Information : MsgIcon::Warning);
  if (report.allGood) return kExitOk;
  return report.notVerified ? kExitNotVerified : kExitFailed;
}

int Cli::Repair() {
  if (a_.positional.size() != 1) return kExitUsage;
  const std::string first = TerminalInteraction::Absolute(a_.positional[0]);
  return SayRepair(UseRecovery(first, "", RepairMode::Repair, ctx_), RepairMode::Repair)
             ? kExitOk
             : kExitFailed;
}

// The commands and the procedures that run them.
struct Command {
  const char* name;
  int (Cli::*run)();
};
constexpr Command kCommands[] = {{"split", &Cli::Split},
                                 {"join", &Cli::Join},
                                 {"info", &Cli::Info},
                                 {"verify", &Cli::Verify},
                                 {"repair", &Cli::Repair}};

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

// An option given to a command that does not take it: a usage error rather than ignored.
std::optional<std::string> ForeignOption(const Args& a) {
  for (const CommandOptions& c : kCommandOptions) {
    if (a.command != c.command) continue;
    std::vector<std::string> given;
    for (const auto& [name, value] : a.values) given.push_back(name);
    for (const auto& [name, on] : a.flags) given.push_back(name);
    for (const std::string& name : given) {
      if (!Contains(c.options, name) && !Contains(kCommonOptions, name)) return name;
    }
  }
  return std::nullopt;
}

// What is answered before any command runs: a usage error, --help, --version, no command.
std::optional<int> AnswerWithoutCommand(const std::optional<Args>& args, const std::string& error,
                                        std::FILE* out, std::FILE* err) {
  if (!args) {
    std::fprintf(err, "parzello-cli: %s\n\n%s", error.c_str(), kUsage);
    return kExitUsage;
  }
  if (args->flags.count("--help")) {
    std::fputs(kUsage, out);
    return kExitOk;
  }
  if (args->flags.count("--version")) {
    std::fprintf(out, "parzello-cli %s\n", PZ_PROGRAM_VERSION);
    return kExitOk;
  }
  if (FindCommand(args->command) == nullptr) {
    std::fprintf(err, "%s", kUsage);
    return kExitUsage;
  }
  if (const auto foreign = ForeignOption(*args)) {
    std::fprintf(err, "parzello-cli: %s is not an option of %s\n\n%s", foreign->c_str(),
                 args->command.c_str(), kUsage);
    return kExitUsage;
  }
  return std::nullopt;
}

// Runs the command with signals caught; a failure that no message covered is said here.
int RunCommand(const Args& args, TPXLanguage& lang, std::FILE* in, std::FILE* out, std::FILE* err,
               const std::string& programmPfad) {
  signals::Scope signalScope;
  signals::CancellableTerminal ui(lang, in, err, lang.GetText(tb::kCancelledBySignal));
  ui.SetQuiet(args.flags.count("--quiet") != 0);
  Cli cli(args, lang, ui, out, programmPfad);
  int rc = kExitUsage;
  try {
    rc = (cli.*FindCommand(args.command)->run)();
  } catch (const std::exception& e) {
    ui.ShowMessage(e.what(), MsgIcon::Error);
    return kExitFailed;
  }
  if (signals::Received() != 0) {
    ui.ShowMessage(lang.GetText(tb::kCancelledBySignal), MsgIcon::Error);
    return kExitFailed;
  }
  if (rc == kExitUsage) std::fprintf(err, "%s", kUsage);
  return rc;
}

}  // namespace

int RunCli(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  std::string error;
  const auto args = Parse(argc, argv, error);
  if (const std::optional<int> rc = AnswerWithoutCommand(args, error, out, err)) return *rc;

  const std::string programmPfad = ProgrammPfadErmitteln();
  TPXLanguage lang;
  CliLanguageUi langUi(err);
  lang.SetUi(&langUi);
  if (!LoadLanguage(lang, *args, programmPfad)) {
    std::fprintf(err, "parzello-cli: no language file in %s\n", lang.Path().c_str());
    return kExitFailed;
  }
  return RunCommand(*args, lang, in, out, err, programmPfad);
}

}  // namespace pz
