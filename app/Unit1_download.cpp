// Downloads: DownloadFile with its log lines, and the progress bar kept in step
// with the HTTP client's notifications.
#include "app/Unit1.h"

#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/win/application.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

using platform::win::application;

namespace {

platform::HttpClient::Settings InstallerSettings()
{
    platform::HttpClient::Settings settings;
    // The request goes out as the servers have always had it from this
    // installer: named as the HTTP component of its first release named it.
    settings.user_agent = "Mozilla/3.0 (compatible; Indy Library)";
    settings.username = "kwmharbor";
    settings.password = "turnips";
    return settings;
}

// The progress bar counts in 32-bit integers; a larger count stays at the top.
std::int32_t ToWorkCount(std::int64_t count) { return platform::capped_work_count(count); }

}  // namespace

TIdHTTP::TIdHTTP(TForm1& owner) : platform::HttpClient(InstallerSettings())
{
    OnWorkBegin = [&owner](Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCountMax) {
        owner.IdHTTP1WorkBegin(Sender, AWorkMode, AWorkCountMax);
    };
    OnWork = [&owner](Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCount) {
        owner.IdHTTP1Work(Sender, AWorkMode, AWorkCount);
    };
    on_work_begin = [this](platform::WorkMode mode, std::int64_t count_max) {
        if (OnWorkBegin)
            OnWorkBegin(*this, mode, ToWorkCount(count_max));
    };
    on_work = [this](platform::WorkMode mode, std::int64_t count) {
        if (OnWork)
            OnWork(*this, mode, ToWorkCount(count));
    };
    // A silent server must not freeze the window while the client waits.
    on_idle = [] { application().process_messages(); };
    // The user who closed the window waits for no download.
    cancel_requested = [] { return CloseRequested; };
}

bool TForm1::DownloadFile(const std::string& url, const std::string& file)
{
    AddLogLine("Downloading.....: " + url);
    application().process_messages();

    DownloadedSha256.clear();
    platform::File stream = platform::File::create(file);
    if (!stream.is_open())
        throw std::runtime_error("Cannot create file " + file);
    WrittenFiles.insert(WrittenFileKey(file));

    platform::Sha256 digest;
    const auto result = IdHTTP1.get(url, [&stream, &digest](const char* data, std::size_t size) {
        digest.update(data, size);
        return stream.write(data, size) == static_cast<std::int64_t>(size);
    });
    DownloadedSha256 = digest.hex_digest();
    if (result.ok()) {
        AddLogLine("Download completed.");
        stream.close();
        Sleep(LogPause);
        AddLogLine("");
        return true;
    }
    AddLogLine("Downloaded failed: " + url);
    stream.close();
    AddLogLine("");
    return false;
}

bool TForm1::PassesIntegrityCheck(const std::string& local, const std::string& pin)
{
    // The servers speak plain HTTP: anyone on the way could hand over a
    // program of their own, which the run would start with the user's trust.
    if (pin.empty() || DownloadedSha256 == pin)
        return true;
    platform::delete_file(TargetFolder + local);
    Abort("Aborting: " + local + " did not pass its integrity check.");
    return false;
}

void TForm1::IdHTTP1WorkBegin(Object&, platform::WorkMode, std::int32_t AWorkCountMax)
{
    ProgressBar1.set_max(AWorkCountMax);
    ProgressBar1.set_position(0);
}

void TForm1::IdHTTP1Work(Object&, platform::WorkMode, std::int32_t AWorkCount)
{
    application().process_messages();
    ProgressBar1.set_position(AWorkCount);
}
