// The compiled help file beside the program, read through the platform's storage of compiled help
// files, the way HTML Help reads it: every topic that a page opens is there, and every link of its pages and of its
// table of contents leads to a file (and an anchor) inside it.
#include "app/wizard_sheet.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <deque>
#include <regex>
#include <set>
#include <string>

// The storage of a compiled help file, from the platform's InfoTech storage component (itss.dll), the
// one that HTML Help reads the file through. Declared outside the unnamed namespace: there the compiler
// may conclude that no class implements it and call its pure methods directly.
const CLSID kItStorageClass = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const IID kItStorageInterface = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
struct IITStorage : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};

namespace {

class HelpFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitialize(nullptr);
        const std::string path = HelpFilePath();
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(path.c_str())) << path;
        IITStorage* its = nullptr;
        ASSERT_EQ(S_OK, ::CoCreateInstance(kItStorageClass, nullptr, CLSCTX_INPROC_SERVER, kItStorageInterface,
                                           reinterpret_cast<void**>(&its)));
        const std::wstring wide(path.begin(), path.end());
        HRESULT hr =
            its->StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &storage_);
        its->Release();
        ASSERT_EQ(S_OK, hr) << path;
    }
    void TearDown() override {
        if (storage_)
            storage_->Release();
        ::CoUninitialize();
    }

    // The text of one file inside the help file ("images/x.png" names a file in a folder); false when
    // it is not there.
    bool ReadTopic(const std::string& name, std::string& text) const {
        IStorage* folder = storage_;
        folder->AddRef();
        std::string rest = name;
        for (size_t slash; (slash = rest.find('/')) != std::string::npos; rest.erase(0, slash + 1)) {
            const std::wstring part(rest.begin(), rest.begin() + slash);
            IStorage* inner = nullptr;
            HRESULT hr =
                folder->OpenStorage(part.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &inner);
            folder->Release();
            if (FAILED(hr) || !inner)
                return false;
            folder = inner;
        }
        const std::wstring leaf(rest.begin(), rest.end());
        IStream* stream = nullptr;
        HRESULT hr = folder->OpenStream(leaf.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
        folder->Release();
        if (FAILED(hr) || !stream)
            return false;
        text.clear();
        char buffer[4096];
        ULONG got = 0;
        while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &got)) && got > 0)
            text.append(buffer, got);
        stream->Release();
        return true;
    }

    IStorage* storage_ = nullptr;
};

TEST_F(HelpFileTest, HoldsEveryTopicThatAPageOpens) {
    CWizardSheet sheet("", nullptr, nullptr);
    for (int i = 0; i < sheet.PageCount(); ++i) {
        const std::string topic = static_cast<CWizardPage*>(sheet.Page(i))->HelpTopic();
        std::string text;
        ASSERT_TRUE(ReadTopic(topic, text)) << topic << " of page " << i;
        EXPECT_NE(std::string::npos, text.find("<h1>")) << topic;
    }
}

TEST_F(HelpFileTest, EveryLinkLeadsToAFileAndAnchorInside) {
    // From the table of contents and the pages' topics, follow every href, src and Local value.
    const std::regex reference(R"re((?:href|src)="([^"]*)"|name="Local" value="([^"]*)")re", std::regex::icase);
    std::deque<std::string> pending = {"toc.hhc", "index.htm"};
    std::set<std::string> seen(pending.begin(), pending.end());
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.front();
        pending.pop_front();
        std::string text;
        ASSERT_TRUE(ReadTopic(name, text)) << name;
        for (std::sregex_iterator m(text.begin(), text.end(), reference), end; m != end; ++m) {
            std::string target = (*m)[1].matched ? (*m)[1].str() : (*m)[2].str();
            if (target.rfind("http:", 0) == 0 || target.rfind("mailto:", 0) == 0)
                continue;
            ++links;
            std::string anchor;
            const size_t hash = target.find('#');
            if (hash != std::string::npos) {
                anchor = target.substr(hash + 1);
                target.resize(hash);
            }
            if (target.empty())
                target = name;
            std::string linked;
            ASSERT_TRUE(ReadTopic(target, linked)) << name << " links to " << target << ", which is missing";
            if (!anchor.empty()) {
                EXPECT_NE(std::string::npos, linked.find("name=\"" + anchor + "\""))
                    << name << " links to " << target << "#" << anchor << ", which has no such anchor";
            }
            const bool page = target.size() > 4 && target.compare(target.size() - 4, 4, ".htm") == 0;
            if (page && seen.insert(target).second)
                pending.push_back(target);
        }
    }
    EXPECT_GE(seen.size(), 7u) << "the table of contents and six topics";
    EXPECT_GT(links, 20);
}

TEST_F(HelpFileTest, ReadingAMissingTopicFails) {
    std::string text;
    EXPECT_FALSE(ReadTopic("noSuchTopic.htm", text));
}

} // namespace
