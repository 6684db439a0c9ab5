// Reads and rewrites a generated feeds.xml of about 10 MiB and one of twice the size, against expat's
// parse of the same bytes; then the hostile files: thousands of folders of one name, one huge element
// with many attributes, and a small setup that inflates to millions of elements. Every measurement runs
// in a child process of its own, which makes its own input, so that its peak memory is its own (a forked
// child counts the parent's resident pages too: the parent holds nothing large).
#include "builder/setup_file.h"

#include <expat.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

struct Measure {
    double seconds = 0;
    double peakMiB = 0; // the child's peak resident memory
    bool ok = false;
};

// Runs work in a child process: its time (work reports it, so that setting up is not counted) and its
// peak memory. work returns the seconds of the part that counts, or a negative number on failure.
Measure InChild(const std::function<double()>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const double seconds = work();
        if (::write(pipeEnds[1], &seconds, sizeof seconds) != sizeof seconds)
            std::_Exit(1);
        std::_Exit(0);
    }
    ::close(pipeEnds[1]);
    double seconds = -1;
    const bool got = ::read(pipeEnds[0], &seconds, sizeof seconds) == sizeof seconds;
    ::close(pipeEnds[0]);
    int status = 0;
    struct rusage usage = {};
    ::wait4(child, &status, 0, &usage);
    Measure m;
    m.ok = got && seconds >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    m.seconds = seconds;
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return m;
}

// The fastest of rounds runs, with the largest peak.
Measure Best(int rounds, const std::function<double()>& work) {
    Measure best;
    for (int i = 0; i < rounds; ++i) {
        const Measure m = InChild(work);
        if (!m.ok)
            return m;
        if (i == 0 || m.seconds < best.seconds)
            best.seconds = m.seconds;
        best.peakMiB = std::max(best.peakMiB, m.peakMiB);
        best.ok = true;
    }
    return best;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A feeds.xml as the wizard writes it, of at least bytes: folders of 50 feeds with titles and URLs of
// ordinary lengths, some with characters that need escaping or are outside ASCII.
std::string FeedsFile(size_t bytes) {
    std::vector<CFeedFolder> folders;
    size_t estimate = 0;
    for (int f = 0; estimate < bytes; ++f) {
        CFeedFolder folder("Folder " + std::to_string(f) + " & caf\xC3\xA9");
        for (int i = 0; i < 50; ++i) {
            const std::string title = "Feed " + std::to_string(i) + " of folder " + std::to_string(f) + " <news>";
            const std::string url = "http://feeds.example.com/" + std::to_string(f) + "/" + std::to_string(i) +
                                    "/rss.xml?format=full&lang=en";
            folder.Add(title, url);
            estimate += title.size() + url.size() + 170;
        }
        folders.push_back(folder);
    }
    int count = 0;
    return FeedsXmlText(folders, count);
}

std::string ReadWhole(const std::string& path) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        std::exit(1);
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) != 0)
        bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

// Writes the generated file in a child, so that the memory of making it is never the parent's.
void MakeFile(const std::string& path, size_t bytes) {
    InChild([&] {
        const std::string text = FeedsFile(bytes);
        FILE* file = std::fopen(path.c_str(), "wb");
        const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        return file && std::fclose(file) == 0 && written ? 0.0 : -1.0;
    });
}

double Read(const std::string& path) {
    const std::string text = ReadWhole(path);
    const auto start = std::chrono::steady_clock::now();
    DataElement root;
    if (!ReadDataFile(text, "All Feeds", root).Ok())
        return -1;
    return Since(start);
}

double ReadAndWrite(const std::string& path) {
    const std::string text = ReadWhole(path);
    const auto start = std::chrono::steady_clock::now();
    DataElement root;
    std::string written;
    if (!ReadDataFile(text, "All Feeds", root).Ok() || !DataFileText(root, written) || written != text)
        return -1;
    return Since(start);
}

void OnStart(void*, const XML_Char*, const XML_Char**) {}
void OnEnd(void*, const XML_Char*) {}

double ExpatParse(const std::string& path) {
    const std::string text = ReadWhole(path);
    const auto start = std::chrono::steady_clock::now();
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    const bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok ? Since(start) : -1;
}

// A pkg::Source over bytes in memory.
class MemorySource : public pkg::Source {
public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t pos, void* buffer, uint32_t size) override {
        if (pos > bytes_.size() || bytes_.size() - pos < size)
            return false;
        std::memcpy(buffer, bytes_.data() + pos, size);
        return true;
    }

private:
    const std::string& bytes_;
};

std::string SetupWithFeeds(pkg::InputStream& input, uint64_t size) {
    pkg::MemoryOutput package;
    if (pkg::WritePackage("MZ", {{"feeds.xml", &input, size}}, package) != pkg::kSuccess)
        std::exit(1);
    return package.bytes;
}

// "<Folder Name="All Feeds">", then "<a/>" up to the largest data file a setup may carry, then the end
// tag, made as it is read: the setup is made without the whole text in memory.
class EmptyElements : public pkg::InputStream {
public:
    EmptyElements() {
        const size_t count = (kMaxDataFileBytes - kHead.size() - kTail.size()) / 4;
        size_ = kHead.size() + count * 4 + kTail.size();
    }
    uint64_t Size() const { return size_; }
    bool Read(void* buffer, uint32_t size, uint32_t& got) override {
        char* out = static_cast<char*>(buffer);
        got = 0;
        while (got < size && pos_ < size_) {
            char c;
            if (pos_ < kHead.size())
                c = kHead[pos_];
            else if (pos_ >= size_ - kTail.size())
                c = kTail[pos_ - (size_ - kTail.size())];
            else
                c = "<a/>"[(pos_ - kHead.size()) % 4];
            out[got++] = c;
            ++pos_;
        }
        return true;
    }

private:
    const std::string kHead = "<Folder Name=\"All Feeds\">";
    const std::string kTail = "</Folder>";
    uint64_t size_ = 0;
    uint64_t pos_ = 0;
};

void Print(const char* what, const Measure& m) {
    if (!m.ok)
        std::printf("%-58s FAILED\n", what);
    else
        std::printf("%-58s %8.3f s %8.1f MiB peak\n", what, m.seconds, m.peakMiB);
}

} // namespace

int main(int argc, char** argv) {
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const Measure empty = InChild([] { return 0.0; });

    const char* temp = std::getenv("TMPDIR");
    const std::string base = std::string(temp && *temp ? temp : "/tmp") + "/datafiles_bench." + std::to_string(::getpid());
    const std::string once = base + ".1.xml", twice = base + ".2.xml";
    MakeFile(once, mib << 20);
    MakeFile(twice, mib << 21);
    struct stat size1 = {}, size2 = {};
    ::stat(once.c_str(), &size1);
    ::stat(twice.c_str(), &size2);
    std::printf("feeds.xml of %.1f MiB and %.1f MiB, held in memory while it is read; %d rounds, the fastest "
                "counts; a child process that does nothing peaks at %.1f MiB\n",
                size1.st_size / 1048576.0, size2.st_size / 1048576.0, rounds, empty.peakMiB);
    const Measure expat1 = Best(rounds, [&] { return ExpatParse(once); });
    const Measure read1 = Best(rounds, [&] { return Read(once); });
    const Measure both1 = Best(rounds, [&] { return ReadAndWrite(once); });
    const Measure expat2 = Best(rounds, [&] { return ExpatParse(twice); });
    const Measure read2 = Best(rounds, [&] { return Read(twice); });
    const Measure both2 = Best(rounds, [&] { return ReadAndWrite(twice); });
    std::remove(once.c_str());
    std::remove(twice.c_str());
    Print("expat parse, 1x", expat1);
    Print("read, 1x", read1);
    Print("read and write, 1x", both1);
    Print("expat parse, 2x", expat2);
    Print("read, 2x", read2);
    Print("read and write, 2x", both2);
    if (expat1.ok && read1.ok && both1.ok && expat2.ok && read2.ok && both2.ok) {
        // The memory that the input and the work add to an empty child.
        const double memory1 = both1.peakMiB - empty.peakMiB, memory2 = both2.peakMiB - empty.peakMiB;
        std::printf("ratio read / expat parse: 1x %.2fx, 2x %.2fx (goal <= 3x)\n", read1.seconds / expat1.seconds,
                    read2.seconds / expat2.seconds);
        std::printf("ratio read and write / expat parse: 1x %.2fx, 2x %.2fx\n", both1.seconds / expat1.seconds,
                    both2.seconds / expat2.seconds);
        std::printf("doubling the input, read and write: time %.2fx, peak memory above an empty child %.2fx "
                    "(goal <= 2.2x each)\n",
                    both2.seconds / both1.seconds, memory2 / memory1);
    }

    std::printf("hostile files (goal: under 1 s and 64 MB each)\n");
    {
        std::vector<CFeedFolder> folders;
        for (int i = 0; i < 4000; ++i) {
            CFeedFolder folder("News");
            folder.Add("Daily", "http://d.example.com/" + std::to_string(i));
            folders.push_back(folder);
        }
        int count = 0;
        const std::string feeds = FeedsXmlText(folders, count);
        pkg::MemoryInput input(feeds);
        const std::string setup = SetupWithFeeds(input, feeds.size());
        Print("4,000 folders of one name: read, loaded as the wizard does", InChild([&] {
                  const auto start = std::chrono::steady_clock::now();
                  MemorySource source(setup);
                  SetupContents contents;
                  std::vector<CFeedFolder> flat;
                  std::string nested, loose;
                  if (ReadSetup(source, contents) != SetupRead::Read ||
                      !FlatFolders(contents.customization.feeds, flat, nested, loose))
                      return -1.0;
                  CFeedFolderList list;
                  list.AppendFoldersUnique(flat);
                  return list.FolderAt(3999).Name() == "News (3999)" ? Since(start) : -1.0;
              }));
    }
    Print("one 3.4 MB element with 1,000 long attributes: read", InChild([&] {
              std::string element = "<Folder Name=\"All Feeds\"><Feed Name=\"x\" URL=\"http://x/\"";
              const std::string value(3300, 'v');
              for (size_t i = 0; element.size() < 3400000 && i + 3 < kMaxDataAttributes; ++i)
                  element += " a" + std::to_string(i) + "=\"" + value + "\"";
              element += "/></Folder>";
              const auto start = std::chrono::steady_clock::now();
              DataElement root;
              return ReadDataFile(element, "All Feeds", root).Ok() ? Since(start) : -1.0;
          }));
    Print("one 3.4 MB element with 400,000 attributes: refused", InChild([&] {
              std::string many = "<Folder Name=\"All Feeds\"";
              for (size_t i = 0; many.size() < 3400000; ++i)
                  many += " a" + std::to_string(i) + "=\"\"";
              many += "/>";
              const auto start = std::chrono::steady_clock::now();
              DataElement root;
              return ReadDataFile(many, "All Feeds", root).read == DataFileRead::OverLimit ? Since(start) : -1.0;
          }));
    {
        EmptyElements input;
        const std::string setup = SetupWithFeeds(input, input.Size());
        char what[100];
        std::snprintf(what, sizeof what, "a %u KB setup of 64 MiB of <a/>: read, refused", unsigned(setup.size() >> 10));
        Print(what, InChild([&] {
                  const auto start = std::chrono::steady_clock::now();
                  MemorySource source(setup);
                  SetupContents contents;
                  return ReadSetup(source, contents) == SetupRead::Damaged ? Since(start) : -1.0;
              }));
    }
    return 0;
}
