// The main window's HTTP client component: the platform client with events in
// the style of the window's other controls (a sender, then the arguments).
#pragma once

#include "platform/http/http_client.h"
#include "platform/win/controls.h"

#include <cstdint>
#include <functional>

class TForm1;

class TIdHTTP : public platform::win::Object, public platform::HttpClient {
public:
    using TWorkBeginEvent =
        std::function<void(platform::win::Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCountMax)>;
    using TWorkEvent =
        std::function<void(platform::win::Object& Sender, platform::WorkMode AWorkMode, std::int32_t AWorkCount)>;

    // Configured for the installer's servers, with the events going to the
    // owner's progress handlers and the waits keeping the owner's window
    // alive. Nothing is called on the owner until the first request.
    explicit TIdHTTP(TForm1& owner);

    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
};
