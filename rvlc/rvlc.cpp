// rvlc: builds and inspects customized setups from the command line. The commands themselves need no
// Windows; what does goes through platform.h.
#include "rvlc/rvlc.h"

#include "builder/setup_file.h"
#include "framework/text.h"
#include "rvlc/platform.h"

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
    "        [--setup RVL_EXE | --download] [--verify-feeds]\n"
    "                    builds a customized setup\n"
    "  update OLD_SETUP NEW_SETUP\n"
    "                    builds NEW_SETUP from the customization of OLD_SETUP and the latest reader\n"
    "                    setup, downloaded from the maker\n"
    "\n"
    "rvlc COMMAND --help tells more about each command.\n"
    "\n"
    "Results go to standard output; progress and errors go to standard error.\n"
    "Exit codes:\n"
    "  0  success\n"
    "  2  usage: unknown command or option, missing argument, or not available in this build\n"
    "  3  an input cannot be read: missing file, not a customized setup, damaged setup, unreadable data file\n"
    "  4  the reader setup cannot be downloaded, or its signature check does not pass\n"
    "  5  the output cannot be written\n"
    "  6  --verify-feeds: a feed could not be fetched or is not a feed\n";

const char kShowHelp[] =
    "Usage: rvlc show SETUP\n"
    "Prints what a customized setup holds: its files with their sizes, the reader setup's file version\n"
    "and signer with the result of the signature check, then each feed folder with its feeds and the web\n"
    "pages. The signature is checked as in build (rvlc --help tells how this build checks it).\n";

const char kExtractHelp[] =
    "Usage: rvlc extract SETUP DIR\n"
    "Writes the files of a customized setup (rvl.exe, feeds.xml, webpages.xml) into DIR, which is made\n"
    "when it does not exist. Prints the path of each file written.\n";

const char kBuildHelp[] =
    "Usage: rvlc build --out SETUP [--from OLD_SETUP] [--feeds FILE]... [--pages FILE]\n"
    "                  [--setup RVL_EXE | --download] [--verify-feeds]\n"
    "Builds a customized setup without the wizard. The customization is taken, in the order given, from\n"
    "  --from OLD_SETUP   an earlier customized setup: its feed folders and web pages\n"
    "  --feeds FILE       a feeds.xml, or an OPML file (one folder, named after the file's title or else the\n"
    "                     file; feeds already in the customization are left out, as in the wizard's import)\n"
    "  --pages FILE       a webpages.xml\n"
    "The reader setup comes from\n"
    "  --setup RVL_EXE    a file\n"
    "  --download         the maker's download address\n"
    "  (neither)          the reader setup inside --from OLD_SETUP\n"
    "and must pass the signature check that rvlc --help describes, or nothing is written (exit 4).\n"
    "  --verify-feeds     fetches every feed first and fails, listing those that are not feeds\n"
    "The setup is written under a temporary name and renamed to SETUP only when complete.\n";

const char kUpdateHelp[] =
    "Usage: rvlc update OLD_SETUP NEW_SETUP\n"
    "The same as: rvlc build --from OLD_SETUP --download --out NEW_SETUP\n"
    "Keeps the feed folders and web pages of OLD_SETUP and packs them with the latest reader setup.\n";

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

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& cause) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        cause = LastErrorText();
        return false;
    }
    bytes.clear();
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) != 0)
        bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    if (failed)
        cause = LastErrorText();
    std::fclose(file);
    return !failed;
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
    bool Commit(std::string& cause) {
        const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
        if (!flushed)
            cause = LastErrorText();
        if (!Close() || !flushed) {
            if (cause.empty())
                cause = LastErrorText();
            return false;
        }
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

// Opens and reads a customized setup; on failure reports it and gives the exit code.
int OpenSetup(const std::string& path, pkg::StdioSource& source, SetupContents& contents) {
    if (!source.Open(path)) {
        Error(path + ": cannot be opened: " + LastErrorText());
        return kExitInput;
    }
    switch (ReadSetup(source, contents)) {
    case SetupRead::NotSetup:
        Error(path + ": not a customized setup of Ravelin");
        return kExitInput;
    case SetupRead::Damaged:
        Error(path + ": the customized setup is damaged: " + contents.cause);
        return kExitInput;
    case SetupRead::Read:
        break;
    }
    if (contents.skipped != 0)
        Error(path + ": " + std::to_string(contents.skipped) +
              " folders, feeds or pages with an empty name or a URL that is no http or https address of at most 2048 "
              "characters were left out");
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

void PrintCustomization(const Customization& customization) {
    std::printf("Feed folders: %u\n", static_cast<unsigned>(customization.folders.size()));
    for (const CFeedFolder& folder : customization.folders) {
        std::printf("  %s\n", folder.Name().c_str());
        for (int i = 0; i < folder.Count(); ++i) {
            std::string title, url;
            folder.GetAt(i, title, url);
            std::printf("    %s <%s>\n", title.c_str(), url.c_str());
        }
    }
    std::printf("Web pages: %u\n", static_cast<unsigned>(customization.pages.size()));
    for (const WebPageRow& page : customization.pages)
        std::printf("  %s <%s>\n", page.title.c_str(), page.url.c_str());
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
    const int opened = OpenSetup(path, source, contents);
    if (opened != kExitOk)
        return opened;

    std::printf("Setup: %s\n", path.c_str());
    std::printf("Files: %u\n", static_cast<unsigned>(contents.entries.size()));
    for (const pkg::Entry& entry : contents.entries)
        std::printf("  %s  %u bytes\n", entry.name.c_str(), entry.uncompressedSize);

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
        std::printf("Reader setup: %s\n", reader->name.c_str());
        std::printf("  File version: %s\n", check.version.empty() ? "(none)" : check.version.c_str());
        std::printf("  Signer: %s\n", check.signer.empty() ? "(none)" : check.signer.c_str());
        std::printf("  Signature: %s\n", check.verdict.c_str());
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
    const int opened = OpenSetup(args[0], source, contents);
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
};

// Appends a folder to the customization; a name that a folder has already is given " (n)".
void AppendFolder(Customization& customization, CFeedFolder folder) {
    CFeedFolderList names;
    for (const CFeedFolder& existing : customization.folders)
        names.AppendFolder(existing);
    if (names.FolderExists(folder.Name()))
        folder.SetName(names.UniqueFolderName(folder.Name()));
    customization.folders.push_back(std::move(folder));
}

bool IsInCustomization(const Customization& customization, const std::string& url) {
    for (const CFeedFolder& folder : customization.folders) {
        for (int i = 0; i < folder.Count(); ++i) {
            std::string title, existing;
            folder.GetAt(i, title, existing);
            if (SameFeed(existing, url))
                return true;
        }
    }
    return false;
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

int AddFeedsFile(Customization& customization, const std::string& path) {
    std::string bytes, cause;
    if (!ReadWholeFile(path, bytes, cause)) {
        Error(path + ": cannot be read: " + cause);
        return kExitInput;
    }
    std::vector<CFeedFolder> folders;
    int skipped = 0;
    const DataFileRead read = ReadFeedsXml(bytes, folders, skipped);
    if (read == DataFileRead::DocumentType) {
        Error(path + ": refused: the file declares a document type");
        return kExitInput;
    }
    if (read == DataFileRead::Read) {
        if (skipped != 0)
            Error(path + ": " + std::to_string(skipped) +
                  " folders or feeds with an empty name or a URL that is no http or https address of at most 2048 "
                  "characters were left out");
        for (CFeedFolder& folder : folders)
            AppendFolder(customization, std::move(folder));
        return kExitOk;
    }
    // Not a feeds.xml: an OPML file, imported as the wizard imports one.
    if (!HasWindowsInterfaces()) {
        Error(path + ": not a feeds.xml; OPML files are read only by the Windows build of rvlc");
        return kExitUsage;
    }
    std::string title;
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
        if (!IsAcceptableRecord(feed.title, feed.url)) {
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
    AppendFolder(customization, std::move(folder));
    return kExitOk;
}

int AddPagesFile(Customization& customization, const std::string& path) {
    std::string bytes, cause;
    if (!ReadWholeFile(path, bytes, cause)) {
        Error(path + ": cannot be read: " + cause);
        return kExitInput;
    }
    std::vector<WebPageRow> pages;
    int skipped = 0;
    switch (ReadWebPagesXml(bytes, pages, skipped)) {
    case DataFileRead::Read:
        break;
    case DataFileRead::DocumentType:
        Error(path + ": refused: the file declares a document type");
        return kExitInput;
    case DataFileRead::WrongRoot:
        Error(path + ": not a webpages.xml");
        return kExitInput;
    case DataFileRead::NotXml:
        Error(path + ": not well-formed XML");
        return kExitInput;
    }
    if (skipped != 0)
        Error(path + ": " + std::to_string(skipped) +
              " pages with an empty title or a URL that is no http or https address of at most 2048 characters were "
              "left out");
    customization.pages.insert(customization.pages.end(), pages.begin(), pages.end());
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

// Checks the reader setup at path as the wizard checks a downloaded one; name says in messages where it
// came from.
int CheckSetupFile(const std::string& path, const std::string& name) {
    ReaderSetupCheck check;
    if (!CheckReaderSetup(path, check)) {
        Error(name + ": refused as the reader setup: its signature cannot be checked: " + check.verdict);
        return kExitDownload;
    }
    if (!check.trusted) {
        Error(name + ": refused as the reader setup: " + check.verdict);
        return kExitDownload;
    }
    return kExitOk;
}

int VerifyFeeds(const Customization& customization) {
    std::vector<std::string> refused;
    for (const CFeedFolder& folder : customization.folders) {
        for (int i = 0; i < folder.Count(); ++i) {
            std::string title, url, reason;
            folder.GetAt(i, title, url);
            std::fprintf(stderr, "Checking %s\n", url.c_str());
            if (!VerifyFeed(url, reason))
                refused.push_back(folder.Name() + ": " + title + " <" + url + ">: " + reason);
        }
    }
    if (refused.empty())
        return kExitOk;
    Error("these feeds did not pass:");
    for (const std::string& line : refused)
        std::fprintf(stderr, "  %s\n", line.c_str());
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

    // The customization, in the order of the options' kinds: the earlier setup, then the feeds files in
    // the order given, then the pages file.
    Customization customization;
    pkg::StdioSource old;
    SetupContents oldContents;
    if (!options.from.empty()) {
        const int opened = OpenSetup(options.from, old, oldContents);
        if (opened != kExitOk)
            return opened;
        customization = oldContents.customization;
    }
    for (const std::string& feeds : options.feeds) {
        const int added = AddFeedsFile(customization, feeds);
        if (added != kExitOk)
            return added;
    }
    if (!options.pages.empty()) {
        const int added = AddPagesFile(customization, options.pages);
        if (added != kExitOk)
            return added;
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
    const int checked = CheckSetupFile(setupPath, setupName);
    if (checked != kExitOk)
        return checked;

    FILE* setupFile = std::fopen(setupPath.c_str(), "rb");
    if (!setupFile) {
        Error(setupPath + ": cannot be opened: " + LastErrorText());
        return kExitInput;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> setupOwner(setupFile, std::fclose);
    pkg::StdioSource setupSize;
    if (!setupSize.Open(setupPath)) {
        Error(setupPath + ": cannot be opened: " + LastErrorText());
        return kExitInput;
    }

    int feedCount = 0;
    const std::string feedsXml = FeedsXmlText(customization.folders, feedCount);
    const std::string pagesXml = WebPagesXmlText(customization.pages);
    pkg::StdioInput setupInput(setupFile);
    pkg::MemoryInput feedsInput(feedsXml);
    pkg::MemoryInput pagesInput(pagesXml);
    std::vector<pkg::PackageInput> inputs = {{kReaderSetupName, &setupInput, setupSize.Size()}};
    if (feedCount != 0)
        inputs.push_back({kFeedsFileName, &feedsInput, feedsXml.size()});
    if (!customization.pages.empty())
        inputs.push_back({kWebPagesFileName, &pagesInput, pagesXml.size()});

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
    if (!out.Commit(cause)) {
        Error(options.out + ": cannot be written: " + cause);
        return kExitBuild;
    }
    int feeds = 0;
    for (const CFeedFolder& folder : customization.folders)
        feeds += folder.Count();
    std::printf("%s: %s in %s, %s\n", options.out.c_str(), Counted(static_cast<size_t>(feeds), "feed").c_str(),
                Counted(customization.folders.size(), "folder").c_str(),
                Counted(customization.pages.size(), "web page").c_str());
    return kExitOk;
}

int Update(const std::vector<std::string>& args) {
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUpdateHelp, stdout);
        return kExitOk;
    }
    if (args.size() != 2)
        return Usage("update takes the old and the new customized setup", kUpdateHelp);
    return Build({"--from", args[0], "--download", "--out", args[1]});
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
