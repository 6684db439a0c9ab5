// rvlc: builds and inspects customized setups from the command line. The commands themselves need no
// Windows; what does goes through platform.h.
#include "rvlc/rvlc.h"

#include "builder/setup_file.h"
#include "framework/text.h"
#include "rvlc/platform.h"
#include "rvlc/reader_setup.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace rvlc {

namespace {

// "1 feed", "2 feeds": a count with its noun, singular for one.
std::string Counted(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

const char kMainHelp[] =
    "Usage: rvlc COMMAND [OPTIONS]\n"
    "Builds and inspects customized setups of Ravelin.\n"
    "\n"
    "Commands:\n"
    "  show SETUP        lists the files of a customized setup, the reader setup's version and signer,\n"
    "                    the feed folders with their feeds, and the web pages\n"
    "  extract SETUP DIR writes the files of a customized setup into DIR\n"
    "  build --out SETUP [--from OLD_SETUP] [--feeds FILE]... [--pages FILE]\n"
    "        [--setup RVL_EXE | --download] [--allow-older] [--verify-feeds] [--skip-invalid]\n"
    "                    builds a customized setup\n"
    "  update [--skip-invalid] [--allow-older] OLD_SETUP NEW_SETUP\n"
    "                    builds NEW_SETUP from the customization of OLD_SETUP and the latest reader\n"
    "                    setup, downloaded from the maker\n"
    "\n"
    "rvlc COMMAND --help tells more about each command.\n"
    "\n"
    "Data files (feeds.xml, webpages.xml) are kept whole: nested folders, every attribute of every folder\n"
    "and feed, in order. A folder without a name, or a feed or page without a title or with a URL that is\n"
    "no http or https address of at most 2048 characters, is named on standard error as\n"
    "FILE:LINE:COLUMN: what is wrong; build and update then refuse the input (exit 3) unless\n"
    "--skip-invalid leaves such records out. A data file may hold at most 1000000 elements, nested at\n"
    "most 32 deep, 1024 attributes on one element and 65536 bytes in one value; one over a limit is\n"
    "refused with the limit's name. Files in UTF-8, UTF-16 with a byte order mark, UTF-32, ISO-8859-1 and\n"
    "(in the Windows build) the code pages that Windows converts are read; every file is written in UTF-8.\n"
    "\n"
    "Results go to standard output; progress and errors go to standard error. Control characters of what\n"
    "a setup holds are printed as \\xHH.\n"
    "Exit codes:\n"
    "  0  success\n"
    "  2  usage: unknown command or option, missing argument, or not available in this build\n"
    "  3  an input cannot be read: missing file, not a customized setup, damaged setup, unreadable data file,\n"
    "     a record that breaks the rules above (without --skip-invalid), or not enough memory to read it\n"
    "  4  the reader setup cannot be downloaded, or it is refused: its signature check does not pass, it is\n"
    "     not Ravelin's, or it is older than the one in the setup that is updated (without --allow-older)\n"
    "  5  the output cannot be written\n"
    "  6  --verify-feeds: a feed could not be fetched or is not a feed\n";

const char kShowHelp[] =
    "Usage: rvlc show SETUP\n"
    "Prints what a customized setup holds: its files with their sizes, the reader setup's file version\n"
    "and signer with the result of the signature check, then each feed folder with its feeds and the web\n"
    "pages. The signature is checked as in build (rvlc --help tells how this build checks it). Folders\n"
    "and records that break the rules of the dialogs are listed too, and named on standard error.\n";

const char kExtractHelp[] =
    "Usage: rvlc extract SETUP DIR\n"
    "Writes the files of a customized setup (rvl.exe, feeds.xml, webpages.xml) into DIR, which is made\n"
    "when it does not exist. Prints the path of each file written.\n";

const char kBuildHelp[] =
    "Usage: rvlc build --out SETUP [--from OLD_SETUP] [--feeds FILE]... [--pages FILE]\n"
    "                  [--setup RVL_EXE | --download] [--allow-older] [--verify-feeds] [--skip-invalid]\n"
    "Builds a customized setup without the wizard. The customization is taken from\n"
    "  --from OLD_SETUP   an earlier customized setup: its feeds.xml and webpages.xml, kept whole\n"
    "  --feeds FILE       a feeds.xml, which REPLACES the feeds of OLD_SETUP (one feeds.xml at most), or\n"
    "                     an OPML file, which ADDS one folder, named after the file's title or else the\n"
    "                     file (\"name (1)\" when a folder has that name; feeds already in the\n"
    "                     customization are left out, as in the wizard's import). OPML files are added\n"
    "                     after the feeds.xml, in the order given.\n"
    "  --pages FILE       a webpages.xml, which REPLACES the web pages of OLD_SETUP\n"
    "  --skip-invalid     leaves out the folders and records that break the rules of the dialogs (each is\n"
    "                     named on standard error) instead of refusing the input\n"
    "The reader setup comes from\n"
    "  --setup RVL_EXE    a file\n"
    "  --download         the maker's download address\n"
    "  (neither)          the reader setup inside --from OLD_SETUP\n"
    "and must pass the signature check that rvlc --help describes and name the product \"Ravelin\" in its\n"
    "version resource, or nothing is written (exit 4). It is opened once, and what is checked is what is\n"
    "packed: a file that another program holds open for writing is refused.\n"
    "  --allow-older      with --from and --setup or --download: packs a reader setup whose file version is\n"
    "                     older than that of the reader setup in OLD_SETUP, which is otherwise refused\n"
    "                     (exit 4). Versions compare as four numbers.\n"
    "  --verify-feeds     fetches every feed first and fails, listing those that are not feeds\n"
    "The setup is written under a temporary name and renamed to SETUP only when complete.\n";

const char kUpdateHelp[] =
    "Usage: rvlc update [--skip-invalid] [--allow-older] OLD_SETUP NEW_SETUP\n"
    "The same as: rvlc build --from OLD_SETUP --download --out NEW_SETUP [--skip-invalid] [--allow-older]\n"
    "Keeps the feed folders and web pages of OLD_SETUP and packs them with the latest reader setup. A\n"
    "download older than the reader setup in OLD_SETUP is refused (exit 4) unless --allow-older is given.\n";

void Error(const std::string& message) {
    std::fprintf(stderr, "rvlc: %s\n", message.c_str());
}

int Usage(const std::string& message, const char* help) {
    Error(message);
    std::fputs(help, stderr);
    return kExitUsage;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h" || arg == "/?";
}

// An output file under a temporary name that becomes the real file only through Commit: whatever
// fails before leaves nothing at the real name.
class PendingFile {
public:
    explicit PendingFile(std::string path) : path_(std::move(path)), temporary_(TemporaryName(path_)) {}
    ~PendingFile() {
        Close();
        if (!committed_)
            std::remove(temporary_.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool Open(std::string& cause) {
        file_ = std::fopen(temporary_.c_str(), "wb");
        if (!file_)
            cause = LastErrorText();
        return file_ != nullptr;
    }
    FILE* File() const { return file_; }
    // seal: the file is a customized setup, whose header is made to describe it (pkg::SealPeImage); an
    // extracted file is kept exactly as it was packed.
    bool Commit(std::string& cause, bool seal = false) {
        const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
        if (!flushed)
            cause = LastErrorText();
        if (!Close() || !flushed) {
            if (cause.empty())
                cause = LastErrorText();
            return false;
        }
        // The extractor at the front may come from an earlier, signed setup: its header must describe
        // this file, so that the publisher can sign it as it is.
        if (seal && !pkg::SealPeImage(temporary_, cause))
            return false;
        committed_ = MoveIntoPlace(temporary_, path_, cause);
        return committed_;
    }

private:
    bool Close() {
        if (!file_)
            return true;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return closed;
    }

    std::string path_;
    std::string temporary_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};

// Names each folder or record that breaks the rules, as FILE:LINE:COLUMN: what is wrong.
void ReportProblems(const std::string& file, const std::vector<RecordProblem>& problems, const char* outcome) {
    for (const RecordProblem& problem : problems) {
        std::string line = file + ":" + std::to_string(problem.line) + ":" + std::to_string(problem.column) + ": " +
                           problem.what + ": \"" + problem.title + "\"";
        if (!problem.url.empty())
            line += " <" + problem.url + ">";
        std::fprintf(stderr, "%s%s\n", EscapeControls(line).c_str(), outcome);
    }
}

// What to do with the folders and records of an input that break the rules.
enum class Invalid {
    List,   // name them and keep them: show
    Refuse, // name them and refuse the input
    Skip,   // name them and leave them out
};

const char* Outcome(Invalid invalid) {
    return invalid == Invalid::Skip ? " (left out)" : "";
}

// Opens and reads a customized setup; on failure reports it and gives the exit code.
int OpenSetup(const std::string& path, pkg::StdioSource& source, SetupContents& contents, Invalid invalid) {
    if (!source.Open(path)) {
        Error(path + ": cannot be opened: " + LastErrorText());
        return kExitInput;
    }
    switch (ReadSetup(source, contents, PlatformCharsets())) {
    case SetupRead::NotSetup:
        Error(path + ": not a customized setup of Ravelin");
        return kExitInput;
    case SetupRead::Damaged:
        Error(path + ": the customized setup is damaged: " + contents.cause);
        return kExitInput;
    case SetupRead::Read:
        break;
    }
    for (const SetupProblem& problem : contents.problems)
        ReportProblems(path + "(" + problem.file + ")", {problem}, Outcome(invalid));
    if (contents.passedOver != 0)
        Error(path + ": " + Counted(contents.passedOver, "element") +
              " other than Folder and Feed in the data files are not carried");
    if (!contents.problems.empty()) {
        if (invalid == Invalid::Refuse)
            return kExitInput; // the lines above are the message: one for each record
        if (invalid == Invalid::Skip)
            DropProblems(contents);
    }
    return kExitOk;
}

const pkg::Entry* FindEntry(const SetupContents& contents, const char* name) {
    for (const pkg::Entry& entry : contents.entries) {
        if (text::EqualNoCase(entry.name, name))
            return &entry;
    }
    return nullptr;
}

// Extracts one entry to a file, through a temporary name.
int ExtractToFile(pkg::Source& source, const pkg::Entry& entry, const std::string& path) {
    PendingFile out(path);
    std::string cause;
    if (!out.Open(cause)) {
        Error(path + ": cannot be written: " + cause);
        return kExitBuild;
    }
    pkg::StdioOutput output(out.File());
    if (ExtractEntry(source, entry, output) != pkg::kSuccess) {
        Error(path + ": " + entry.name + " cannot be extracted: its stream is damaged or the disk is full");
        return kExitInput;
    }
    if (!out.Commit(cause)) {
        Error(path + ": cannot be written: " + cause);
        return kExitBuild;
    }
    return kExitOk;
}

// Text of a setup for the terminal: a setup that someone hands you cannot drive it.
void PrintLine(const std::string& line) {
    std::printf("%s\n", EscapeControls(line).c_str());
}

size_t CountFolders(const DataElement& root) {
    size_t count = 0;
    for (const DataElement& child : root.children) {
        if (child.IsFolder())
            count += 1 + CountFolders(child);
    }
    return count;
}

// The folders and feeds inside element, indented by their depth.
void PrintFolder(const DataElement& element, const std::string& indent) {
    for (const DataElement& child : element.children) {
        if (child.IsFolder()) {
            PrintLine(indent + child.Value("Name"));
            PrintFolder(child, indent + "  ");
        } else {
            PrintLine(indent + child.Value("Name") + " <" + child.Value("URL") + ">");
        }
    }
}

void PrintCustomization(const Customization& customization) {
    std::printf("Feed folders: %u\n", static_cast<unsigned>(CountFolders(customization.feeds)));
    PrintFolder(customization.feeds, "  ");
    const std::vector<WebPageRow> pages = PageRows(customization.pages);
    std::printf("Web pages: %u\n", static_cast<unsigned>(pages.size()));
    for (const WebPageRow& page : pages)
        PrintLine("  " + page.title + " <" + page.url + ">");
}

int Show(const std::vector<std::string>& args) {
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kShowHelp, stdout);
        return kExitOk;
    }
    if (args.size() != 1)
        return Usage("show takes one customized setup", kShowHelp);
    const std::string& path = args[0];
    pkg::StdioSource source;
    SetupContents contents;
    const int opened = OpenSetup(path, source, contents, Invalid::List);
    if (opened != kExitOk)
        return opened;

    PrintLine("Setup: " + path);
    std::printf("Files: %u\n", static_cast<unsigned>(contents.entries.size()));
    for (const pkg::Entry& entry : contents.entries)
        PrintLine("  " + entry.name + "  " + std::to_string(entry.uncompressedSize) + " bytes");

    const pkg::Entry* reader = FindEntry(contents, kReaderSetupName);
    if (!reader) {
        std::printf("Reader setup: none\n");
    } else {
        ReaderSetupCheck check;
        // The version and the signature are read from the file itself.
        const std::string temporary = TemporaryName(std::string());
        if (ExtractToFile(source, *reader, temporary) != kExitOk)
            return kExitInput;
        CheckReaderSetup(temporary, check);
        std::remove(temporary.c_str());
        PrintLine("Reader setup: " + reader->name);
        PrintLine("  File version: " + (check.version.empty() ? std::string("(none)") : check.version));
        PrintLine("  Product: " + (check.product.empty() ? std::string("(none)") : check.product));
        PrintLine("  Signer: " + (check.signer.empty() ? std::string("(none)") : check.signer));
        PrintLine("  Signature: " + check.verdict);
    }
    PrintCustomization(contents.customization);
    return kExitOk;
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kExtractHelp, stdout);
        return kExitOk;
    }
    if (args.size() != 2)
        return Usage("extract takes a customized setup and a folder", kExtractHelp);
    pkg::StdioSource source;
    SetupContents contents;
    // The files are written as they are stored: nothing of the customization is judged here.
    const int opened = OpenSetup(args[0], source, contents, Invalid::List);
    if (opened != kExitOk)
        return opened;
    std::string cause;
    if (!MakeFolder(args[1], cause)) {
        Error(args[1] + ": the folder cannot be made: " + cause);
        return kExitBuild;
    }
    for (const pkg::Entry& entry : contents.entries) {
        const std::string path = JoinPath(args[1], entry.name);
        const int extracted = ExtractToFile(source, entry, path);
        if (extracted != kExitOk)
            return extracted;
        std::printf("%s\n", path.c_str());
    }
    return kExitOk;
}

struct BuildOptions {
    std::string out;
    std::string from;
    std::vector<std::string> feeds;
    std::string pages;
    std::string setup;
    bool download = false;
    bool verifyFeeds = false;
    bool skipInvalid = false;
    bool allowOlder = false;
};

// Appends a folder to the feeds; a name that a folder beside it has already is given " (n)".
void AppendFolder(Customization& customization, const CFeedFolder& folder) {
    CFeedFolderList names;
    for (const DataElement& existing : customization.feeds.children) {
        if (existing.IsFolder())
            names.AppendFolder(CFeedFolder(existing.Value("Name")));
    }
    CFeedFolder named = folder;
    if (names.FolderExists(named.Name()))
        named.SetName(names.UniqueFolderName(named.Name()));
    const bool first = CountFolders(customization.feeds) == 0;
    DataElement tree = FeedsTree({named});
    DataElement& element = tree.children.front();
    element.Set("SpecialData", first ? "0" : "1");
    customization.feeds.children.push_back(std::move(element));
}

bool HoldsFeed(const DataElement& element, const std::string& url) {
    for (const DataElement& child : element.children) {
        if (child.IsFolder() ? HoldsFeed(child, url) : SameFeed(child.Value("URL"), url))
            return true;
    }
    return false;
}

bool IsInCustomization(const Customization& customization, const std::string& url) {
    return HoldsFeed(customization.feeds, url);
}

// Reads a data file given on the command line; on failure reports it and gives the exit code. A file
// whose document element is not rootName's folder gives kExitOk with wrongRoot set.
int ReadDataFileArgument(const std::string& path, const char* rootName, DataElement& root, Invalid invalid,
                         bool& wrongRoot) {
    wrongRoot = false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        Error(path + ": cannot be read: " + LastErrorText());
        return kExitInput;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> owner(file, std::fclose);
    pkg::StdioInput input(file);
    const DataFileResult read = ReadDataFile(input, rootName, root, PlatformCharsets());
    if (read.read == DataFileRead::WrongRoot) {
        wrongRoot = true;
        return kExitOk;
    }
    if (!read.Ok()) {
        Error(EscapeControls(read.Describe(path)));
        return kExitInput;
    }
    if (read.passedOver != 0)
        Error(path + ": " + Counted(read.passedOver, "element") + " other than Folder and Feed are not carried");
    const std::vector<RecordProblem> problems = CheckRecords(root, false);
    ReportProblems(path, problems, Outcome(invalid));
    if (!problems.empty()) {
        if (invalid == Invalid::Refuse)
            return kExitInput; // the lines above are the message: one for each record
        CheckRecords(root, true);
    }
    return kExitOk;
}

// The name of the folder that an OPML file without a title makes: its file name without extension (a
// name that is only an extension keeps it).
std::string FileStem(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0)
        name.erase(dot);
    return name;
}

// Reads --feeds FILE: a feeds.xml replaces the feeds (isFeedsXml set), an OPML file adds a folder.
int AddFeedsFile(Customization& customization, const std::string& path, Invalid invalid, bool opml,
                 bool& isFeedsXml) {
    isFeedsXml = false;
    if (!opml) {
        DataElement feeds;
        bool wrongRoot = false;
        const int read = ReadDataFileArgument(path, "All Feeds", feeds, invalid, wrongRoot);
        if (read != kExitOk)
            return read;
        if (!wrongRoot) {
            customization.feeds = std::move(feeds);
            isFeedsXml = true;
            return kExitOk;
        }
        if (!HasWindowsInterfaces()) {
            Error(path + ": not a feeds.xml (its document element is not the folder \"All Feeds\"); OPML files "
                         "are read only by the Windows build of rvlc");
            return kExitUsage;
        }
        return kExitOk; // an OPML file, added once the feeds are settled
    }
    // Not a feeds.xml: an OPML file, imported as the wizard imports one.
    std::string title, cause;
    std::vector<WebPageRow> feeds;
    if (!ReadOpml(path, title, feeds, cause)) {
        Error(path + ": neither a feeds.xml nor an OPML file: " + cause);
        return kExitInput;
    }
    // The import's rules: trimmed web addresses only, each feed once (where the file first names it), and
    // none that the customization holds already.
    CFeedFolder folder(text::Trim(title).empty() ? FileStem(path) : text::Trim(title));
    int notWeb = 0, present = 0;
    for (const WebPageRow& feed : feeds) {
        if (!IsAcceptableRecord(feed.title, feed.url) || !IsXmlText(feed.title) || !IsXmlText(feed.url)) {
            ++notWeb;
            continue;
        }
        bool inFolder = false;
        for (int i = 0; i < folder.Count() && !inFolder; ++i) {
            std::string listedTitle, listedUrl;
            folder.GetAt(i, listedTitle, listedUrl);
            inFolder = SameFeed(listedUrl, feed.url);
        }
        if (inFolder)
            continue;
        if (IsInCustomization(customization, feed.url))
            ++present;
        else
            folder.Add(feed.title, feed.url);
    }
    if (notWeb != 0)
        Error(path + ": " + std::to_string(notWeb) + " entries were left out because they are not web addresses");
    if (present != 0)
        Error(path + ": " + std::to_string(present) + " feeds already in the customization were left out");
    if (folder.Count() == 0) {
        Error(path + ": every feed of the file is already in the customization; no folder is added");
        return kExitOk;
    }
    AppendFolder(customization, folder);
    return kExitOk;
}

// Reads --pages FILE, which replaces the web pages.
int ReplacePages(Customization& customization, const std::string& path, Invalid invalid) {
    DataElement pages;
    bool wrongRoot = false;
    const int read = ReadDataFileArgument(path, "All Pages", pages, invalid, wrongRoot);
    if (read != kExitOk)
        return read;
    if (wrongRoot) {
        Error(path + ": not a webpages.xml (its document element is not the folder \"All Pages\")");
        return kExitInput;
    }
    customization.pages = std::move(pages);
    return kExitOk;
}

int ParseBuild(const std::vector<std::string>& args, BuildOptions& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        std::string feeds;
        if (arg == "--out") {
            if (!value(options.out))
                return Usage("--out needs a file", kBuildHelp);
        } else if (arg == "--from") {
            if (!options.from.empty() || !value(options.from))
                return Usage("--from needs one customized setup", kBuildHelp);
        } else if (arg == "--feeds") {
            if (!value(feeds))
                return Usage("--feeds needs a file", kBuildHelp);
            options.feeds.push_back(feeds);
        } else if (arg == "--pages") {
            if (!options.pages.empty() || !value(options.pages))
                return Usage("--pages needs one file", kBuildHelp);
        } else if (arg == "--setup") {
            if (!value(options.setup))
                return Usage("--setup needs a reader setup", kBuildHelp);
        } else if (arg == "--download") {
            options.download = true;
        } else if (arg == "--verify-feeds") {
            options.verifyFeeds = true;
        } else if (arg == "--skip-invalid") {
            options.skipInvalid = true;
        } else if (arg == "--allow-older") {
            options.allowOlder = true;
        } else {
            return Usage("unknown option " + arg, kBuildHelp);
        }
    }
    if (options.out.empty())
        return Usage("build needs --out", kBuildHelp);
    if (!options.setup.empty() && options.download)
        return Usage("--setup and --download exclude each other", kBuildHelp);
    if (options.setup.empty() && !options.download && options.from.empty())
        return Usage("the reader setup must come from --setup, --download or --from", kBuildHelp);
    if (options.verifyFeeds && !HasWindowsInterfaces())
        return Usage("--verify-feeds needs Windows; this build of rvlc has no feed fetch", kBuildHelp);
    return kExitOk;
}

void VerifyFolder(const DataElement& folder, std::vector<std::string>& refused) {
    for (const DataElement& child : folder.children) {
        if (child.IsFolder()) {
            VerifyFolder(child, refused);
            continue;
        }
        const std::string title = child.Value("Name"), url = child.Value("URL");
        std::string reason;
        std::fprintf(stderr, "Checking %s\n", EscapeControls(url).c_str());
        if (!VerifyFeed(url, reason))
            refused.push_back(folder.Value("Name") + ": " + title + " <" + url + ">: " + reason);
    }
}

int VerifyFeeds(const Customization& customization) {
    std::vector<std::string> refused;
    VerifyFolder(customization.feeds, refused);
    if (refused.empty())
        return kExitOk;
    Error("these feeds did not pass:");
    for (const std::string& line : refused)
        std::fprintf(stderr, "  %s\n", EscapeControls(line).c_str());
    return kExitFeedsRefused;
}

// A file that is removed when it goes out of scope.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty())
            std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

int Build(const std::vector<std::string>& args) {
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kBuildHelp, stdout);
        return kExitOk;
    }
    BuildOptions options;
    const int parsed = ParseBuild(args, options);
    if (parsed != kExitOk)
        return parsed;

    // The customization: the earlier setup's, its feeds replaced by a feeds.xml and its pages by a
    // webpages.xml, then a folder added for each OPML file in the order given.
    const Invalid invalid = options.skipInvalid ? Invalid::Skip : Invalid::Refuse;
    Customization customization;
    pkg::StdioSource old;
    SetupContents oldContents;
    if (!options.from.empty()) {
        const int opened = OpenSetup(options.from, old, oldContents, invalid);
        if (opened != kExitOk)
            return opened;
        customization = std::move(oldContents.customization);
    }
    if (customization.feeds.name.empty())
        customization.feeds = FeedsTree({});
    if (customization.pages.name.empty())
        customization.pages = WebPagesTree({});
    std::vector<std::string> opmlFiles;
    std::string feedsXml;
    for (const std::string& feeds : options.feeds) {
        bool isFeedsXml = false;
        const int read = AddFeedsFile(customization, feeds, invalid, false, isFeedsXml);
        if (read != kExitOk)
            return read;
        if (isFeedsXml && !feedsXml.empty())
            return Usage("--feeds takes one feeds.xml, which replaces the feeds; " + feedsXml + " and " + feeds +
                             " are both one",
                         kBuildHelp);
        if (isFeedsXml)
            feedsXml = feeds;
        else
            opmlFiles.push_back(feeds);
    }
    for (const std::string& opml : opmlFiles) {
        bool isFeedsXml = false;
        const int added = AddFeedsFile(customization, opml, invalid, true, isFeedsXml);
        if (added != kExitOk)
            return added;
    }
    if (!options.pages.empty()) {
        const int replaced = ReplacePages(customization, options.pages, invalid);
        if (replaced != kExitOk)
            return replaced;
    }
    if (options.verifyFeeds) {
        const int verified = VerifyFeeds(customization);
        if (verified != kExitOk)
            return verified;
    }

    // The extractor: this build's own, else the one at the front of the earlier setup.
    std::string stub;
    if (!LoadOwnStub(stub)) {
        if (options.from.empty()) {
            Error("this build of rvlc carries no extractor: give an earlier setup with --from");
            return kExitUsage;
        }
        stub.resize(static_cast<size_t>(oldContents.stubSize));
        if (!stub.empty() && !old.ReadAt(0, &stub[0], static_cast<uint32_t>(stub.size()))) {
            Error(options.from + ": cannot be read: " + LastErrorText());
            return kExitInput;
        }
    }

    // A new reader setup for an earlier setup may not be older than the one it replaces.
    ReplacedReader replaced;
    if (!options.from.empty() && (options.download || !options.setup.empty())) {
        if (const pkg::Entry* reader = FindEntry(oldContents, kReaderSetupName)) {
            pkg::MemoryOutput bytes;
            if (ExtractEntry(old, *reader, bytes) != pkg::kSuccess) {
                Error(options.from + ": " + reader->name + " cannot be extracted: its stream is damaged");
                return kExitInput;
            }
            replaced = PackedReaderVersion(bytes.bytes, options.from + " (" + reader->name + ")");
        }
    }

    // The reader setup: a file, a download, or the one inside the earlier setup.
    std::unique_ptr<TemporaryFile> temporarySetup;
    std::string setupPath = options.setup;
    std::string setupName = options.setup;
    if (options.download) {
        temporarySetup.reset(new TemporaryFile(TemporaryName(std::string())));
        std::string cause;
        if (!DownloadReaderSetup(temporarySetup->Path(), cause)) {
            Error("the reader setup cannot be downloaded: " + cause);
            return kExitDownload;
        }
        setupPath = temporarySetup->Path();
        setupName = "the downloaded reader setup";
    } else if (setupPath.empty()) {
        const pkg::Entry* reader = FindEntry(oldContents, kReaderSetupName);
        if (!reader) {
            Error(options.from + ": holds no reader setup; give one with --setup or --download");
            return kExitInput;
        }
        temporarySetup.reset(new TemporaryFile(TemporaryName(std::string())));
        const int extracted = ExtractToFile(old, *reader, temporarySetup->Path());
        if (extracted != kExitOk)
            return extracted;
        setupPath = temporarySetup->Path();
        setupName = options.from + " (" + reader->name + ")";
    }
    // Held from its check to its packing: what is packed is what was checked.
    std::unique_ptr<HeldSetup> held;
    const int checked = HoldCheckedReaderSetup(setupPath, setupName, replaced, options.allowOlder, held);
    if (checked != kExitOk)
        return checked;

    const size_t feedCount = CountFeeds(customization.feeds);
    const size_t pageCount = CountFeeds(customization.pages);
    std::string feedsText, pagesText;
    if (!DataFileText(customization.feeds, feedsText) || !DataFileText(customization.pages, pagesText)) {
        Error("the data files cannot be written: a name or value holds what XML does not allow");
        return kExitBuild;
    }
    pkg::SourceInput setupInput(*held);
    pkg::MemoryInput feedsInput(feedsText);
    pkg::MemoryInput pagesInput(pagesText);
    std::vector<pkg::PackageInput> inputs = {{kReaderSetupName, &setupInput, held->Size()}};
    if (feedCount != 0)
        inputs.push_back({kFeedsFileName, &feedsInput, feedsText.size()});
    if (pageCount != 0)
        inputs.push_back({kWebPagesFileName, &pagesInput, pagesText.size()});

    PendingFile out(options.out);
    std::string cause;
    if (!out.Open(cause)) {
        Error(options.out + ": cannot be written: " + cause);
        return kExitBuild;
    }
    pkg::StdioOutput output(out.File());
    if (pkg::WritePackage(stub, inputs, output) != pkg::kSuccess) {
        Error(options.out + ": cannot be written: " + LastErrorText());
        return kExitBuild;
    }
    if (!out.Commit(cause, true)) {
        Error(options.out + ": cannot be written: " + cause);
        return kExitBuild;
    }
    PrintLine(options.out + ": " + Counted(feedCount, "feed") + " in " +
              Counted(CountFolders(customization.feeds), "folder") + ", " + Counted(pageCount, "web page"));
    return kExitOk;
}

int Update(const std::vector<std::string>& args) {
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUpdateHelp, stdout);
        return kExitOk;
    }
    std::vector<std::string> setups;
    bool skipInvalid = false, allowOlder = false;
    for (const std::string& arg : args) {
        if (arg == "--skip-invalid")
            skipInvalid = true;
        else if (arg == "--allow-older")
            allowOlder = true;
        else
            setups.push_back(arg);
    }
    if (setups.size() != 2)
        return Usage("update takes the old and the new customized setup", kUpdateHelp);
    std::vector<std::string> build = {"--from", setups[0], "--download", "--out", setups[1]};
    if (skipInvalid)
        build.push_back("--skip-invalid");
    if (allowOlder)
        build.push_back("--allow-older");
    return Build(build);
}

} // namespace

// Takes --ca-file FILE (or --ca-file=FILE) out of the command line wherever it stands: it applies to
// every check of a reader setup, whichever command makes it.
int TakeRootCertificates(std::vector<std::string>& args) {
    std::string file;
    bool given = false;
    for (size_t i = 0; i < args.size();) {
        const bool joined = args[i].rfind("--ca-file=", 0) == 0;
        if (args[i] != "--ca-file" && !joined) {
            ++i;
            continue;
        }
        if (given)
            return Usage("--ca-file is given more than once", kMainHelp);
        if (!joined && i + 1 >= args.size())
            return Usage("--ca-file needs a file", kMainHelp);
        file = joined ? args[i].substr(10) : args[i + 1];
        if (file.empty())
            return Usage("--ca-file needs a file", kMainHelp);
        given = true;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i + (joined ? 1 : 2)));
    }
    std::string cause;
    if (!UseRootCertificates(file, cause))
        return Usage(cause, kMainHelp);
    return kExitOk;
}

int Run(const std::vector<std::string>& commandLine) {
    std::vector<std::string> args = commandLine;
    const int roots = TakeRootCertificates(args);
    if (roots != kExitOk)
        return roots;
    if (args.empty())
        return Usage("no command given", kMainHelp);
    if (IsHelp(args[0])) {
        std::fputs(kMainHelp, stdout);
        std::fputs(kPlatformHelp, stdout);
        return kExitOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "show")
        return Show(rest);
    if (args[0] == "extract")
        return Extract(rest);
    if (args[0] == "build")
        return Build(rest);
    if (args[0] == "update")
        return Update(rest);
    return Usage("unknown command " + args[0], kMainHelp);
}

} // namespace rvlc
