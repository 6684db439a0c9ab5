// rvlc: builds and inspects customized setups from the command line. The commands themselves need no
// Windows; what does goes through platform.h.
#include "rvlc/rvlc.h"

#include "builder/setup_file.h"
#include "download/page/maker_address.h"
#include "framework/text.h"
#include "rvlc/cleanup.h"
#include "rvlc/platform.h"
#include "rvlc/reader_setup.h"

#include "rvl_version.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace rvlc {

namespace {

// "1 feed", "2 feeds": a count with its noun, singular for one.
std::string Counted(size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// --quiet: errors only. Set once per command line.
bool quiet = false;

// The first line: --ca-file only where this build takes roots of its own.
const char kMainUsageNative[] = "Usage: rvlc [--quiet] [--ca-file FILE] COMMAND [OPTIONS] [--] ARGUMENTS\n";
const char kMainUsageWindows[] = "Usage: rvlc [--quiet] COMMAND [OPTIONS] [--] ARGUMENTS\n";
const char kMainHelpHead[] =
    "       rvlc --version | --help | help COMMAND\n"
    "Builds and inspects customized setups of Ravelin.\n"
    "\n"
    "Commands:\n"
    "  show [--json] SETUP\n"
    "                    lists the files of a customized setup, the reader setup's version and signer,\n"
    "                    the feed folders with their feeds, and the web pages\n"
    "  verify SETUP      checks that a customized setup is whole and that its reader setup is the maker's\n"
    "  extract [--force] SETUP DIR\n"
    "                    writes the files of a customized setup into DIR\n";

const char kMainHelpBuildWindows[] = "  build --out SETUP [--from OLD_SETUP] [--feeds FILE]... [--pages FILE]\n"
                                     "        [--setup RVL_EXE | --download] [--verify-feeds] [--skip-invalid] [PINS]\n"
                                     "                    builds a customized setup\n";
const char kMainHelpBuildNative[] = "  build --out SETUP [--from OLD_SETUP] [--feeds FILE] [--pages FILE]\n"
                                    "        [--setup RVL_EXE | --download] [--skip-invalid] [PINS]\n"
                                    "                    builds a customized setup\n";

const char kMainHelpTail[] =
    "  update [--skip-invalid] [PINS] OLD_SETUP NEW_SETUP\n"
    "                    builds NEW_SETUP from the customization of OLD_SETUP and the latest reader\n"
    "                    setup, downloaded from the maker\n"
    "PINS are --expect-sha256 HEX, --min-version V and --allow-older (rvlc build --help tells more).\n"
    "\n"
    "Options of every command:\n"
    "  --quiet           prints only errors: no progress, nothing of what was written or checked\n"
    "  --help            prints the help of the command it follows, wherever it stands\n"
    "  --version         prints \"rvlc VERSION\"\n"
    "An option's value follows it (--out FILE) or joins it (--out=FILE). \"--\" ends the options: what\n"
    "follows is a file, even when it starts with \"-\". An option that takes one value is given once at\n"
    "most (--feeds may be repeated). rvlc COMMAND --help and rvlc help COMMAND tell more about each\n"
    "command.\n"
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
    "a setup holds are printed as \\xHH. Progress updates one line in place on a console; in a log it is\n"
    "one line at the start, then one every 5 seconds at most, and the last state at the end.\n"
    "Every output is written under a temporary name (random, created exclusively) and renamed when\n"
    "complete; an output that names one of the inputs is refused before anything is written.\n"
    "Exit codes:\n"
    "  0    success\n"
    "  2    usage: unknown command or option, missing argument, an option given twice, an output that\n"
    "       names one of the inputs, or not available in this build\n"
    "  3    an input cannot be read: missing file, not a customized setup, damaged setup, unreadable data\n"
    "       file, a record that breaks the rules above (without --skip-invalid), or not enough memory\n"
    "  4    the reader setup cannot be downloaded or is refused: its signature check does not pass, it is not\n"
    "       Ravelin's, it is older than the one in the setup that is updated (without --allow-older), or it\n"
    "       is not what --expect-sha256 or --min-version pin; show and verify: the reader setup is missing or\n"
    "       is not the maker's; verify: the package is not whole\n"
    "  5    the output cannot be written; extract: a file exists already and --force is not given\n";
const char kExitFeeds[] = "  6    --verify-feeds: a feed could not be fetched or is not a feed\n";
const char kExitInterrupt[] =
    "  130  interrupted (Ctrl+C, SIGINT; 143 for SIGTERM, 129 for SIGHUP, 130 for Ctrl+Break or a closed\n"
    "       console): the partial output and every temporary copy are removed first\n";

std::string MainHelp() {
    return std::string(HasWindowsInterfaces() ? kMainUsageWindows : kMainUsageNative) + kMainHelpHead +
           (HasWindowsInterfaces() ? kMainHelpBuildWindows : kMainHelpBuildNative) + kMainHelpTail +
           (HasWindowsInterfaces() ? kExitFeeds : "") + kExitInterrupt + kPlatformHelp;
}

const char kShowHelp[] =
    "Usage: rvlc show [--json] SETUP\n"
    "Prints what a customized setup holds: its files with their sizes, the reader setup's file version,\n"
    "product name and signer with the result of the signature check, the publisher's own signature on\n"
    "SETUP if it has one, then each feed folder with its feeds and the web pages. The signature is checked\n"
    "as in build (rvlc --help tells how this build checks it). Folders and records that break the rules of\n"
    "the dialogs are listed too, and named on standard error. Exits 4 after printing everything when the\n"
    "setup holds no reader setup or its reader setup does not pass the check.\n"
    "  --json   prints one JSON document (UTF-8) instead:\n"
    "    {\"setup\": path,\n"
    "     \"files\": [{\"name\": text, \"size\": bytes, \"sha256\": lower-case hex}],\n"
    "     \"readerSetup\": {\"name\", \"product\": text or null, \"version\": \"a.b.c.d\" or null,\n"
    "                     \"signer\": text or null, \"verified\": bool, \"verdict\": text} or null,\n"
    "     \"publisherSignature\": {\"signer\": text or null, \"verified\": bool, \"verdict\": text} or null\n"
    "                     (null when SETUP itself carries no signature; the maker's name is not asked for),\n"
    "     \"feeds\": {\"name\", \"attributes\": {name: value, in file order},\n"
    "               \"children\": [folder or feed, in file order]},\n"
    "       a folder: {\"type\": \"folder\", \"name\", \"attributes\", \"children\"},\n"
    "       a feed:   {\"type\": \"feed\", \"name\", \"url\", \"attributes\"},\n"
    "     \"pages\": [{\"name\", \"url\", \"attributes\"}]}\n";

const char kVerifyHelp[] =
    "Usage: rvlc verify SETUP\n"
    "Checks a customized setup as a release check: its package directory, every packed file (each is\n"
    "extracted in memory and its size and check sum compared), the data files, and the reader setup's\n"
    "signature (the maker's, as build checks it). Prints one line per check. Exits 0 when all pass, 4 when\n"
    "one does not, 3 when SETUP cannot be read or is no customized setup at all.\n";

const char kExtractHelp[] =
    "Usage: rvlc extract [--force] SETUP DIR\n"
    "Writes the files of a customized setup (rvl.exe, feeds.xml, webpages.xml) into DIR, which is made\n"
    "when it does not exist. Prints the path of each file written. All files are written under temporary\n"
    "names first and renamed together at the end: a failure leaves none of them behind.\n"
    "  --force  replaces files that exist in DIR; without it such a file is named and nothing is written\n"
    "           (exit 5)\n";

const char kBuildHelpHead[] =
    "Usage: rvlc build --out SETUP [--from OLD_SETUP] [--feeds FILE]... [--pages FILE]\n"
    "                  [--setup RVL_EXE | --download] [--verify-feeds] [--skip-invalid]\n"
    "                  [--expect-sha256 HEX] [--min-version V] [--allow-older]\n"
    "Builds a customized setup without the wizard. The customization is taken from\n"
    "  --from OLD_SETUP   an earlier customized setup: its feeds.xml and webpages.xml, kept whole\n"
    "  --feeds FILE       a feeds.xml, which REPLACES the feeds of OLD_SETUP (one feeds.xml at most), or\n"
    "                     an OPML file, which ADDS one folder, named after the file's title or else the\n"
    "                     file (\"name (1)\" when a folder has that name; feeds already in the\n"
    "                     customization are left out, as in the wizard's import). OPML files are added\n"
    "                     after the feeds.xml, in the order given.\n";
const char kBuildHelpHeadNative[] =
    "Usage: rvlc build --out SETUP [--from OLD_SETUP] [--feeds FILE] [--pages FILE]\n"
    "                  [--setup RVL_EXE | --download] [--skip-invalid]\n"
    "                  [--expect-sha256 HEX] [--min-version V] [--allow-older]\n"
    "Builds a customized setup without the wizard. The customization is taken from\n"
    "  --from OLD_SETUP   an earlier customized setup: its feeds.xml and webpages.xml, kept whole\n"
    "  --feeds FILE       a feeds.xml, which REPLACES the feeds of OLD_SETUP\n";
const char kBuildHelpMiddle[] =
    "  --pages FILE       a webpages.xml, which REPLACES the web pages of OLD_SETUP\n"
    "  --skip-invalid     leaves out the folders and records that break the rules of the dialogs (each is\n"
    "                     named on standard error) instead of refusing the input\n"
    "The reader setup comes from\n"
    "  --setup RVL_EXE    a file\n"
    "  --download         the maker's download address\n"
    "  (neither)          the reader setup inside --from OLD_SETUP\n"
    "and must pass the signature check that rvlc --help describes and name the product \"Ravelin\" in its\n"
    "version resource, or nothing is written (exit 4). It is opened once, and what is checked is what is\n"
    "packed: a file that another program holds open for writing is refused. Pins refuse any other reader\n"
    "setup (exit 4, naming what was expected and what was found):\n"
    "  --expect-sha256 HEX  its SHA-256 must be HEX (64 hexadecimal digits)\n"
    "  --min-version V      its file version must be V or later, compared field by field as numbers\n"
    "                       (1.10 is later than 1.9); a reader setup without a version is refused\n"
    "  --allow-older        with --from and --setup or --download: packs a reader setup whose file version\n"
    "                       is older than that of the reader setup in OLD_SETUP, which is otherwise refused\n"
    "                       (versions compare as four numbers)\n";
const char kBuildHelpVerifyFeeds[] =
    "  --verify-feeds     fetches every feed first and fails, listing those that are not feeds\n";
const char kBuildHelpTail[] =
    "The setup is written under a temporary name and renamed to SETUP only when complete. SETUP may not\n"
    "name OLD_SETUP, RVL_EXE or a data file (exit 2). Prints the version and SHA-256 of the reader setup\n"
    "that was packed, and for --download the address it was fetched from.\n";

std::string BuildHelp() {
    if (HasWindowsInterfaces())
        return std::string(kBuildHelpHead) + kBuildHelpMiddle + kBuildHelpVerifyFeeds + kBuildHelpTail;
    return std::string(kBuildHelpHeadNative) + kBuildHelpMiddle + kBuildHelpTail;
}

const char kUpdateHelp[] =
    "Usage: rvlc update [--skip-invalid] [--expect-sha256 HEX] [--min-version V] [--allow-older]\n"
    "                   OLD_SETUP NEW_SETUP\n"
    "The same as: rvlc build --from OLD_SETUP --download --out NEW_SETUP [OPTIONS]\n"
    "Keeps the feed folders and web pages of OLD_SETUP and packs them with the latest reader setup; one\n"
    "older than the reader setup in OLD_SETUP is refused (exit 4) unless --allow-older is given. Prints\n"
    "the address it fetched (also when the download fails), then the version and SHA-256 of the reader\n"
    "setup it packed. NEW_SETUP may not name OLD_SETUP (exit 2). The pins are those of rvlc build --help:\n"
    "  --expect-sha256 HEX  the reader setup's SHA-256 must be HEX\n"
    "  --min-version V      its file version must be V or later\n"
    "  --allow-older        packs a reader setup older than the one inside OLD_SETUP\n";

void Error(const std::string& message) {
    std::fprintf(stderr, "rvlc: %s\n", message.c_str());
}

// A line of what was done, on standard output; --quiet leaves it out.
void Report(const std::string& line) {
    if (!quiet)
        std::printf("%s\n", EscapeControls(line).c_str());
}

int Usage(const std::string& message, const std::string& command) {
    Error(message);
    Error(command.empty() ? "rvlc --help tells how to use it" : "rvlc " + command + " --help tells how to use it");
    return kExitUsage;
}

// A temporary file, created exclusively, that is removed when it goes out of scope or the process is
// interrupted, unless it has been kept.
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile() {
        Close();
        if (!path_.empty())
            std::remove(path_.c_str());
        cleanup_.Release();
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file, open for writing, beside the file beside names (in the temporary folder when it
    // is empty).
    bool Create(std::string& cause, const std::string& beside = std::string()) {
        if (!CreateTemporaryFile(beside, path_, file_, cause)) {
            path_.clear();
            return false;
        }
        cleanup_.Register(path_);
        return true;
    }
    FILE* File() const { return file_; }
    const std::string& Path() const { return path_; }
    bool Close() {
        if (!file_)
            return true;
        const bool closed = std::fflush(file_) == 0 && !std::ferror(file_) && std::fclose(file_) == 0;
        file_ = nullptr;
        return closed;
    }
    // The file has been moved into place under another name: nothing is left to remove.
    void Keep() {
        path_.clear();
        cleanup_.Release();
    }

private:
    std::string path_;
    FILE* file_ = nullptr;
    RemovedOnInterruption cleanup_;
};

// An output file under a temporary name beside it that becomes the real file only through Commit:
// whatever fails before, and an interruption, leaves nothing at the real name.
class PendingFile {
public:
    explicit PendingFile(std::string path) : path_(std::move(path)) {}

    bool Open(std::string& cause) { return temporary_.Create(cause, path_); }
    FILE* File() const { return temporary_.File(); }
    const std::string& Path() const { return path_; }
    // Makes the temporary file complete. seal: the file is a customized setup, whose header is made to
    // describe it (pkg::SealPeImage); an extracted file is kept exactly as it was packed.
    bool Finish(std::string& cause, bool seal = false) {
        if (!temporary_.Close()) {
            cause = LastErrorText();
            return false;
        }
        // The extractor at the front may come from an earlier, signed setup: its header must describe
        // this file, so that the publisher can sign it as it is.
        return !seal || pkg::SealPeImage(temporary_.Path(), cause);
    }
    // Puts the finished file in place.
    bool Commit(std::string& cause) {
        if (!MoveIntoPlace(temporary_.Path(), path_, cause))
            return false;
        temporary_.Keep();
        return true;
    }

private:
    std::string path_;
    TemporaryFile temporary_;
};

// Passes what is written on to another stream and to a SHA-256, and remembers whether a write failed:
// a failed extraction is then the output's fault (exit 5), not the setup's (exit 3).
class CheckedOutput : public pkg::OutputStream {
public:
    explicit CheckedOutput(pkg::OutputStream* next) : next_(next) {}
    bool Write(const void* buffer, uint32_t size) override {
        hash_.Update(buffer, size);
        if (next_ && !next_->Write(buffer, size)) {
            writeFailed_ = true;
            return false;
        }
        return true;
    }
    bool WriteFailed() const { return writeFailed_; }
    std::string Sha256Hex() { return hash_.Hex(); }

private:
    pkg::OutputStream* next_;
    Sha256 hash_;
    bool writeFailed_ = false;
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

// Extracts one entry into a temporary copy, and gives its SHA-256: 3 when the setup's stream is damaged,
// 5 when the copy cannot be written.
int ExtractToTemporary(pkg::Source& source, const pkg::Entry& entry, TemporaryFile& copy, std::string& sha256) {
    std::string cause;
    if (!copy.Create(cause)) {
        Error("a temporary copy of " + entry.name + " cannot be written: " + cause);
        return kExitBuild;
    }
    pkg::StdioOutput file(copy.File());
    CheckedOutput output(&file);
    if (ExtractEntry(source, entry, output) != pkg::kSuccess) {
        if (output.WriteFailed()) {
            Error(copy.Path() + ": cannot be written: " + LastErrorText());
            return kExitBuild;
        }
        Error(entry.name + " cannot be extracted: its stream is damaged");
        return kExitInput;
    }
    if (!copy.Close()) {
        Error(copy.Path() + ": cannot be written: " + LastErrorText());
        return kExitBuild;
    }
    sha256 = output.Sha256Hex();
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

std::string OrNone(const std::string& value) {
    return value.empty() ? std::string("(none)") : value;
}

nlohmann::ordered_json TextOrNull(const std::string& value) {
    return value.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(value);
}

nlohmann::ordered_json AttributesJson(const DataElement& element) {
    nlohmann::ordered_json attributes = nlohmann::ordered_json::object();
    for (const auto& attribute : element.attributes)
        attributes[attribute.first] = attribute.second;
    return attributes;
}

// A folder with its folders and feeds, in file order, with every attribute.
nlohmann::ordered_json FolderJson(const DataElement& folder, bool typed) {
    nlohmann::ordered_json json;
    if (typed)
        json["type"] = "folder";
    json["name"] = folder.Value("Name");
    json["attributes"] = AttributesJson(folder);
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const DataElement& child : folder.children) {
        if (child.IsFolder()) {
            children.push_back(FolderJson(child, true));
            continue;
        }
        nlohmann::ordered_json feed;
        feed["type"] = "feed";
        feed["name"] = child.Value("Name");
        feed["url"] = child.Value("URL");
        feed["attributes"] = AttributesJson(child);
        children.push_back(std::move(feed));
    }
    json["children"] = std::move(children);
    return json;
}

// The web pages: every record under the pages' root, in file order.
void PagesJson(const DataElement& element, nlohmann::ordered_json& pages) {
    for (const DataElement& child : element.children) {
        if (child.IsFolder()) {
            PagesJson(child, pages);
            continue;
        }
        nlohmann::ordered_json page;
        page["name"] = child.Value("Name");
        page["url"] = child.Value("URL");
        page["attributes"] = AttributesJson(child);
        pages.push_back(std::move(page));
    }
}

int Show(const std::string& path, bool json) {
    pkg::StdioSource source;
    SetupContents contents;
    const int opened = OpenSetup(path, source, contents, Invalid::List);
    if (opened != kExitOk)
        return opened;

    // Each file's SHA-256; the reader setup's version and signature are read from a copy of the file.
    const pkg::Entry* reader = FindEntry(contents, kReaderSetupName);
    ReaderSetupCheck check;
    std::vector<std::string> hashes;
    for (const pkg::Entry& entry : contents.entries) {
        std::string sha256;
        if (&entry == reader) {
            TemporaryFile copy;
            const int extracted = ExtractToTemporary(source, entry, copy, sha256);
            if (extracted != kExitOk)
                return extracted;
            CheckReaderSetup(copy.Path(), check);
        } else {
            CheckedOutput output(nullptr);
            if (ExtractEntry(source, entry, output) != pkg::kSuccess) {
                Error(path + ": " + entry.name + " cannot be extracted: its stream is damaged");
                return kExitInput;
            }
            sha256 = output.Sha256Hex();
        }
        hashes.push_back(sha256);
    }
    SignatureCheck publisher;
    CheckSignature(path, publisher);
    const int code = reader && check.trusted ? kExitOk : kExitDownload;

    if (json) {
        nlohmann::ordered_json document;
        document["setup"] = path;
        document["files"] = nlohmann::ordered_json::array();
        for (size_t i = 0; i < contents.entries.size(); ++i)
            document["files"].push_back({{"name", contents.entries[i].name},
                                         {"size", contents.entries[i].uncompressedSize},
                                         {"sha256", hashes[i]}});
        document["readerSetup"] = nullptr;
        if (reader)
            document["readerSetup"] = {{"name", reader->name},
                                       {"product", TextOrNull(check.product)},
                                       {"version", TextOrNull(check.version)},
                                       {"signer", TextOrNull(check.signer)},
                                       {"verified", check.trusted},
                                       {"verdict", check.verdict}};
        document["publisherSignature"] = nullptr;
        if (publisher.present)
            document["publisherSignature"] = {{"signer", TextOrNull(publisher.signer)},
                                              {"verified", publisher.valid},
                                              {"verdict", publisher.verdict}};
        document["feeds"] = FolderJson(contents.customization.feeds, false);
        nlohmann::ordered_json pages = nlohmann::ordered_json::array();
        PagesJson(contents.customization.pages, pages);
        document["pages"] = std::move(pages);
        // Text that is not UTF-8 is replaced, never a reason to print half a document.
        std::printf("%s\n", document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return code;
    }

    PrintLine("Setup: " + path);
    std::printf("Files: %u\n", static_cast<unsigned>(contents.entries.size()));
    for (size_t i = 0; i < contents.entries.size(); ++i)
        PrintLine("  " + contents.entries[i].name + "  " + std::to_string(contents.entries[i].uncompressedSize) +
                  " bytes  SHA-256 " + hashes[i]);
    if (!reader) {
        std::printf("Reader setup: none\n");
    } else {
        PrintLine("Reader setup: " + reader->name);
        PrintLine("  File version: " + OrNone(check.version));
        PrintLine("  Product: " + OrNone(check.product));
        PrintLine("  Signer: " + OrNone(check.signer));
        PrintLine("  Signature: " + check.verdict);
    }
    if (publisher.present)
        PrintLine("Publisher's signature: " + OrNone(publisher.signer) + ": " + publisher.verdict);
    else
        PrintLine("Publisher's signature: none");
    PrintCustomization(contents.customization);
    return code;
}

int Verify(const std::string& path) {
    pkg::StdioSource source;
    if (!source.Open(path)) {
        Error(path + ": cannot be opened: " + LastErrorText());
        return kExitInput;
    }
    SetupContents contents;
    const SetupRead read = ReadSetup(source, contents, PlatformCharsets());
    if (read == SetupRead::NotSetup) {
        Error(path + ": not a customized setup of Ravelin");
        return kExitInput;
    }
    int failed = 0;
    const auto line = [&failed](bool passed, const std::string& what) {
        failed += passed ? 0 : 1;
        Report((passed ? "ok    " : "FAIL  ") + what);
    };
    if (read == SetupRead::Damaged) {
        line(false, "package: damaged: " + contents.cause);
        Error(path + ": the customized setup is not whole");
        return kExitDownload;
    }
    line(true, "package directory: " + Counted(contents.entries.size(), "file"));
    const pkg::Entry* reader = FindEntry(contents, kReaderSetupName);
    ReaderSetupCheck check;
    for (const pkg::Entry& entry : contents.entries) {
        std::string sha256;
        bool whole;
        if (&entry == reader) {
            TemporaryFile copy;
            const int extracted = ExtractToTemporary(source, entry, copy, sha256);
            if (extracted == kExitBuild)
                return extracted; // this computer's fault, not the setup's
            whole = extracted == kExitOk;
            if (whole)
                CheckReaderSetup(copy.Path(), check);
        } else {
            CheckedOutput output(nullptr);
            whole = ExtractEntry(source, entry, output) == pkg::kSuccess;
            sha256 = output.Sha256Hex();
        }
        line(whole, entry.name + ": " + std::to_string(entry.uncompressedSize) + " bytes, " +
                        (whole ? "size and check sum match, SHA-256 " + sha256 : "its stream is damaged"));
    }
    line(true, "data files: " + Counted(CountFeeds(contents.customization.feeds), "feed") + " in " +
                   Counted(CountFolders(contents.customization.feeds), "folder") + ", " +
                   Counted(CountFeeds(contents.customization.pages), "web page") +
                   (contents.problems.empty()
                        ? std::string()
                        : ", " + Counted(contents.problems.size(), "record") + " that the dialogs would refuse"));
    if (!reader)
        line(false, "reader setup: none in the package");
    else
        line(check.trusted, "reader setup: " + check.verdict + " (version " + OrNone(check.version) + ", product " +
                                OrNone(check.product) + ")");
    if (failed != 0) {
        Error(path + ": " + Counted(static_cast<size_t>(failed), "check") + " did not pass");
        return kExitDownload;
    }
    return kExitOk;
}

int Extract(const std::string& setup, const std::string& dir, bool force) {
    pkg::StdioSource source;
    SetupContents contents;
    // The files are written as they are stored: nothing of the customization is judged here.
    const int opened = OpenSetup(setup, source, contents, Invalid::List);
    if (opened != kExitOk)
        return opened;
    // Every name first: nothing is written when one file may not be replaced.
    for (const pkg::Entry& entry : contents.entries) {
        const std::string path = JoinPath(dir, entry.name);
        if (SameFile(path, setup))
            return Usage(path + " is the setup that is extracted", "extract");
        if (!force && PathExists(path)) {
            Error(path + ": exists already; nothing was written (--force replaces it)");
            return kExitBuild;
        }
    }
    std::string cause;
    if (!MakeFolder(dir, cause)) {
        Error(dir + ": the folder cannot be made: " + cause);
        return kExitBuild;
    }
    std::vector<std::unique_ptr<PendingFile>> files;
    for (const pkg::Entry& entry : contents.entries) {
        files.emplace_back(new PendingFile(JoinPath(dir, entry.name)));
        PendingFile& file = *files.back();
        if (!file.Open(cause)) {
            Error(file.Path() + ": cannot be written: " + cause);
            return kExitBuild;
        }
        pkg::StdioOutput stdio(file.File());
        CheckedOutput output(&stdio);
        if (ExtractEntry(source, entry, output) != pkg::kSuccess) {
            if (output.WriteFailed()) {
                Error(file.Path() + ": cannot be written: " + LastErrorText());
                return kExitBuild;
            }
            Error(setup + ": " + entry.name + " cannot be extracted: its stream is damaged");
            return kExitInput;
        }
        if (!file.Finish(cause)) {
            Error(file.Path() + ": cannot be written: " + cause);
            return kExitBuild;
        }
    }
    // All complete: put in place together. Should one rename fail, those of this run before it go too.
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->Commit(cause)) {
            Error(files[i]->Path() + ": cannot be written: " + cause);
            for (size_t j = 0; j < i; ++j)
                std::remove(files[j]->Path().c_str());
            return kExitBuild;
        }
    }
    for (const auto& file : files)
        Report(file->Path());
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
    bool allowOlder = false;  // packs a reader setup older than the one inside --from
    std::string expectSha256; // the reader setup's SHA-256 must be this (lower case)
    std::string minVersion;   // its file version must be this or later
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
int AddFeedsFile(Customization& customization, const std::string& path, Invalid invalid, bool opml, bool& isFeedsXml) {
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

// The checks of build's options that CLI11 does not make: which combinations make sense, and that the
// output names none of the inputs (which would be destroyed by the rename at the end).
int CheckBuildOptions(const BuildOptions& options, const char* command) {
    if (options.out.empty())
        return Usage("build needs --out", command);
    if (!options.setup.empty() && options.download)
        return Usage("--setup and --download exclude each other", command);
    if (options.setup.empty() && !options.download && options.from.empty())
        return Usage("the reader setup must come from --setup, --download or --from", command);
    std::vector<std::pair<const char*, std::string>> inputs = {
        {"--from", options.from}, {"--setup", options.setup}, {"--pages", options.pages}};
    for (const std::string& feeds : options.feeds)
        inputs.push_back({"--feeds", feeds});
    for (const auto& input : inputs) {
        if (input.second.empty() || !SameFile(options.out, input.second))
            continue;
        if (std::string(command) == "update")
            return Usage(options.out + " is OLD_SETUP: the new setup needs a name of its own", command);
        return Usage("--out " + options.out + " is the input of " + input.first + " " + input.second +
                         ": the output needs a name of its own",
                     command);
    }
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
        if (!quiet)
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

int Build(const BuildOptions& options, const char* command) {
    const int valid = CheckBuildOptions(options, command);
    if (valid != kExitOk)
        return valid;

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
                         command);
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
        temporarySetup.reset(new TemporaryFile);
        std::string cause;
        if (!temporarySetup->Create(cause) || !temporarySetup->Close()) {
            Error("a temporary copy of the reader setup cannot be written: " + cause);
            return kExitBuild;
        }
        if (!DownloadReaderSetup(temporarySetup->Path(), quiet, cause)) {
            Error(std::string("the reader setup cannot be downloaded from ") + kReaderDownloadAddress + ": " + cause);
            return kExitDownload;
        }
        Report(std::string("Fetched: ") + kReaderDownloadAddress);
        setupPath = temporarySetup->Path();
        setupName = "the reader setup downloaded from " + std::string(kReaderDownloadAddress);
    } else if (setupPath.empty()) {
        const pkg::Entry* reader = FindEntry(oldContents, kReaderSetupName);
        if (!reader) {
            Error(options.from + ": holds no reader setup; give one with --setup or --download");
            return kExitInput;
        }
        temporarySetup.reset(new TemporaryFile);
        std::string sha256;
        const int extracted = ExtractToTemporary(old, *reader, *temporarySetup, sha256);
        if (extracted != kExitOk)
            return extracted;
        setupPath = temporarySetup->Path();
        setupName = options.from + " (" + reader->name + ")";
    }
    // Held from its check to its packing: what is packed is what was checked, pins included.
    std::unique_ptr<HeldSetup> held;
    ReaderSetupCheck check;
    const int checked = HoldCheckedReaderSetup(setupPath, setupName, replaced, options.allowOlder, held, check);
    if (checked != kExitOk)
        return checked;
    Sha256 hash;
    std::vector<char> block(65536);
    for (uint64_t at = 0; at < held->Size();) {
        const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(block.size(), held->Size() - at));
        if (!held->ReadAt(at, block.data(), size)) {
            Error(setupName + ": cannot be read: " + LastErrorText());
            return kExitInput;
        }
        hash.Update(block.data(), size);
        at += size;
    }
    const std::string sha256 = hash.Hex();
    if (!options.expectSha256.empty() && options.expectSha256 != sha256) {
        Error(setupName + ": refused as the reader setup: --expect-sha256 expects " + options.expectSha256 +
              ", its SHA-256 is " + sha256);
        return kExitDownload;
    }
    pkg::FourPartVersion version, minimum;
    if (!options.minVersion.empty() && minimum.Parse(options.minVersion) &&
        (!version.Parse(check.version) || version.Compare(minimum) < 0)) {
        Error(setupName + ": refused as the reader setup: --min-version expects " + options.minVersion +
              " or later, its version is " + OrNone(check.version));
        return kExitDownload;
    }
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
    if (!out.Finish(cause, true) || !out.Commit(cause)) {
        Error(options.out + ": cannot be written: " + cause);
        return kExitBuild;
    }
    Report("Reader setup: version " + OrNone(check.version) + ", SHA-256 " + sha256);
    Report(options.out + ": " + Counted(feedCount, "feed") + " in " +
           Counted(CountFolders(customization.feeds), "folder") + ", " + Counted(pageCount, "web page"));
    return kExitOk;
}

// What the command line asks for, as Parse leaves it.
struct CommandLine {
    std::string command; // empty when help or the version was asked for
    std::string caFile;
    std::vector<std::string> files; // the positional arguments
    bool json = false;
    bool force = false;
    BuildOptions build;
};

bool IsCommand(const std::string& name) {
    for (const char* command : {"show", "verify", "extract", "build", "update"}) {
        if (name == command)
            return true;
    }
    return false;
}

void PrintHelp(const std::string& command) {
    if (command == "show")
        std::fputs(kShowHelp, stdout);
    else if (command == "verify")
        std::fputs(kVerifyHelp, stdout);
    else if (command == "extract")
        std::fputs(kExtractHelp, stdout);
    else if (command == "build")
        std::fputs(BuildHelp().c_str(), stdout);
    else if (command == "update")
        std::fputs(kUpdateHelp, stdout);
    else
        std::fputs(MainHelp().c_str(), stdout);
}

// The message of a word that no option or argument takes.
std::string UnexpectedText(const std::vector<std::string>& extras, bool inCommand) {
    const std::string& first = extras.front();
    if (!first.empty() && first[0] == '-' && first != "-")
        return "unknown option " + first.substr(0, first.find('='));
    return (inCommand ? "unexpected argument " : "unknown command ") + first;
}

// Parses the command line with CLI11 into line. Gives kExitOk to go on, kExitUsage after a message, or
// -1 when help or the version has been printed (exit 0). No exception leaves it.
int Parse(const std::vector<std::string>& args, CommandLine& line) {
    CLI::App app("rvlc", "rvlc");
    // At most one command: after it, a word that names another command is a file, not a command.
    app.require_subcommand(0, 1);
    app.set_help_flag("-h,--help");
    bool version = false;
    app.add_flag("--version", version);
    app.add_flag("--quiet", quiet);
    app.add_option("--ca-file", line.caFile)->type_name("FILE");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);

    const auto command = [&app](const char* name) {
        CLI::App* sub = app.add_subcommand(name);
        // The options of every command (--quiet, --ca-file) are taken after the command's name too.
        sub->fallthrough();
        return sub;
    };
    CLI::App* show = command("show");
    show->add_flag("--json", line.json);
    show->add_option("SETUP", line.files);
    CLI::App* verify = command("verify");
    verify->add_option("SETUP", line.files);
    CLI::App* extract = command("extract");
    extract->add_flag("--force", line.force);
    extract->add_option("SETUP_DIR", line.files);
    BuildOptions& build = line.build;
    // The pins of the reader setup, which build and update share.
    const auto pins = [&build](CLI::App* sub) {
        sub->add_flag("--skip-invalid", build.skipInvalid);
        sub->add_flag("--allow-older", build.allowOlder);
        sub->add_option("--expect-sha256", build.expectSha256);
        sub->add_option("--min-version", build.minVersion);
    };
    CLI::App* buildCommand = command("build");
    buildCommand->add_option("--out", build.out);
    buildCommand->add_option("--from", build.from);
    // Repeatable, one file each time: the next word after it is never taken too.
    buildCommand->add_option("--feeds", build.feeds)->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    buildCommand->add_option("--pages", build.pages);
    buildCommand->add_option("--setup", build.setup);
    buildCommand->add_flag("--download", build.download);
    if (HasWindowsInterfaces())
        buildCommand->add_flag("--verify-feeds", build.verifyFeeds);
    pins(buildCommand);
    CLI::App* update = command("update");
    pins(update);
    update->add_option("OLD_SETUP_NEW_SETUP", line.files);
    CLI::App* help = command("help");
    std::string helpFor;
    help->add_option("COMMAND", helpFor);
    const std::vector<CLI::App*> commands = {show, verify, extract, buildCommand, update, help};

    const auto given = [&commands]() -> CLI::App* {
        for (CLI::App* sub : commands) {
            if (sub->parsed())
                return sub;
        }
        return nullptr;
    };
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        CLI::App* sub = given();
        PrintHelp(sub ? sub->get_name() : std::string());
        return -1;
    } catch (const CLI::ExtrasError&) {
        CLI::App* sub = given();
        // A command passes the words it does not know on to rvlc's own options (fallthrough): they are
        // left over there.
        const std::vector<std::string> extras = app.remaining(true);
        if (extras.empty())
            return Usage("unexpected arguments", sub ? sub->get_name() : std::string());
        return Usage(UnexpectedText(extras, sub != nullptr), sub ? sub->get_name() : std::string());
    } catch (const CLI::ArgumentMismatch& e) {
        CLI::App* sub = given();
        std::string message = e.what();
        // "--out: At Most 1 required but received 2" is the repetition of a single-valued option.
        if (message.find("At Most 1") != std::string::npos)
            message = message.substr(0, message.find(':')) + " is given more than once";
        return Usage(message, sub ? sub->get_name() : std::string());
    } catch (const CLI::ParseError& e) {
        CLI::App* sub = given();
        return Usage(e.what(), sub ? sub->get_name() : std::string());
    } catch (const std::exception& e) {
        return Usage(e.what(), std::string());
    }
    if (version) {
        std::printf("rvlc %s\n", RVL_VERSION_DOTS);
        return -1;
    }
    CLI::App* sub = given();
    if (!sub)
        return Usage("no command given", std::string());
    if (sub == help) {
        if (!helpFor.empty() && !IsCommand(helpFor))
            return Usage("unknown command " + helpFor, std::string());
        PrintHelp(helpFor);
        return -1;
    }
    line.command = sub->get_name();
    const size_t wanted = sub == extract || sub == update ? 2 : sub == buildCommand ? 0 : 1;
    if (line.files.size() != wanted) {
        const char* what = sub == extract        ? "extract takes a customized setup and a folder"
                           : sub == update       ? "update takes the old and the new customized setup"
                           : sub == buildCommand ? "build takes no file without an option"
                                                 : "takes one customized setup";
        return Usage(sub == show || sub == verify ? line.command + " " + what : std::string(what), line.command);
    }
    if (!build.expectSha256.empty()) {
        std::string lower;
        for (char c : build.expectSha256)
            lower += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        if (lower.size() != 64 || lower.find_first_not_of("0123456789abcdef") != std::string::npos)
            return Usage("--expect-sha256 needs 64 hexadecimal digits", line.command);
        build.expectSha256 = lower;
    }
    pkg::FourPartVersion minimum;
    if (!build.minVersion.empty() && !minimum.Parse(build.minVersion))
        return Usage("--min-version needs a version of one to four numbers (at most 65535) and dots, as 1.2.3.4", line.command);
    return kExitOk;
}

} // namespace

int Run(const std::vector<std::string>& args) {
    quiet = false;
    CommandLine line;
    int parsed;
    try {
        parsed = Parse(args, line);
    } catch (const CLI::Error& e) {
        // Parse answers every mistake of the command line itself; this is a mistake in how it is set up.
        return Usage(e.what(), std::string());
    }
    if (parsed != kExitOk)
        return parsed < 0 ? kExitOk : parsed;
    std::string cause;
    if (!UseRootCertificates(line.caFile, cause))
        return Usage(cause, std::string());
    if (line.command == "show")
        return Show(line.files[0], line.json);
    if (line.command == "verify")
        return Verify(line.files[0]);
    if (line.command == "extract")
        return Extract(line.files[0], line.files[1], line.force);
    if (line.command == "build")
        return Build(line.build, "build");
    // update: build from OLD_SETUP with the latest reader setup.
    line.build.from = line.files[0];
    line.build.out = line.files[1];
    line.build.download = true;
    return Build(line.build, "update");
}

} // namespace rvlc
