// What the Pullwire tests share: the server module loaded and registered in the test prefix, an event
// sink that records every event it receives, a message pump, and temporary files.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <string>
#include <vector>

#include "Pullwire.h"
#include "framework/owners.h"

namespace pwtest {

// Full path of bin/Pullwire.dll beside the test program.
std::string ModulePath();

// Pumps the thread's messages until done() is true or the time is up; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 30000);
// Pumps for the given time whatever happens (to see that nothing more arrives).
void PumpFor(DWORD ms);

// One event as a sink received it, with its arguments in declared order.
struct Event {
    DISPID id = 0;
    std::vector<VARTYPE> types;
    std::vector<LONG> ints;      // the integer arguments in order
    std::vector<double> doubles; // the double arguments in order (rate, elapsed)
    bool textIsNull = false;
    std::wstring text;
    DWORD threadId = 0;
    // "OnStart(1, 3000)", "OnData(1024, 2048, 3000, 68%)", "OnFinish(1, "")": the values that a
    // transfer fixes, without rate and time.
    std::string Describe() const;
};

// An automation sink for _IURLDownloadEvents that records what it receives.
class RecordingSink final : public IDispatch {
public:
    enum class Answers { EventInterface, DispatchOnly, Nothing };
    explicit RecordingSink(Answers answers = Answers::EventInterface) : answers_(answers) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    const std::vector<Event>& Events() const { return events_; }
    std::vector<std::string> Table() const;
    // Checked after every pumped message: a flag, not a search of the events.
    bool Finished() const { return finished_; }
    // Runs once after each recorded event (to act from inside a handler).
    std::function<void(const Event&)> onEvent;
    // What Invoke answers after recording (a sink that fails every call).
    HRESULT invokeResult = S_OK;
    LONG Refs() const { return refs_; }

private:
    Answers answers_;
    LONG refs_ = 1;
    std::vector<Event> events_;
    bool finished_ = false;
};

// Whether this test runs in the prefix where Pullwire is never registered (scripts/wine-run's
// RVL_PREFIX_KIND "unregistered"): there the programs must find it through their manifests alone.
bool InUnregisteredPrefix();
// Pullwire's registry keys (class, ProgIDs, type library, interfaces, AppID) that exist in
// HKEY_CLASSES_ROOT or in HKEY_CURRENT_USER\Software\Classes, by name; none where it is not registered.
std::vector<std::string> PullwireKeys();

// The server loaded from bin/ and registered in the test prefix for the life of the object; COM is
// initialised as a single-threaded apartment on the creating thread.
class RegisteredServer {
public:
    RegisteredServer();
    ~RegisteredServer();
    bool Ok() const { return registered_; }
    HMODULE Module() const { return module_.Get(); }
    HRESULT CanUnloadNow() const;

private:
    HRESULT coinit_ = E_FAIL;
    fw::Library module_;
    bool registered_ = false;
};

// A URLDownload object created through COM by its CLSID, with a recording sink connected.
class Client {
public:
    explicit Client(RecordingSink::Answers answers = RecordingSink::Answers::EventInterface);
    ~Client();
    HRESULT CreateResult() const { return created_; }
    IURLDownload* Object() const { return object_.Get(); }
    RecordingSink& Sink() { return *sink_; }
    DWORD Cookie() const { return cookie_; }
    HRESULT Start(const std::string& url, const std::string& path);
    bool WaitForFinish(DWORD timeoutMs = 30000) {
        return PumpUntil([&] { return sink_->Finished(); }, timeoutMs);
    }
    fw::ComPtr<IConnectionPoint> ConnectionPoint() const;
    // Lets go of the object without unadvising, as a client that drops it from an event handler.
    void ReleaseObject() {
        cookie_ = 0;
        object_.Reset();
    }

private:
    HRESULT created_ = E_FAIL;
    fw::ComPtr<IURLDownload> object_;
    RecordingSink* sink_;
    DWORD cookie_ = 0;
};

// A folder of its own under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& Root() const { return path_; }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// n bytes of a pattern that shows misplaced blocks.
std::string PatternBytes(size_t n);
// n bytes (n >= 1024) that pass for a Windows program: "MZ", the PE signature at the offset it names and
// the file header of an executable image, then the pattern.
std::string ProgramBytes(size_t n);
// The stand-in reader setup beside the test program: "signed" (signed as the maker, Corvane), "foreign"
// (signed by another name) or "" (unsigned, as built).
std::string StandinSetup(const std::string& signer);
// A path that no earlier run used, so that WinINet's cache never answers for the server.
std::string UniquePath(const std::string& stem);

} // namespace pwtest
