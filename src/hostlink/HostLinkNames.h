#pragma once

#include <cstdint>

namespace skyglide {

// Where the host and the viewer meet on the session bus. The viewer's client
// and the stand-in host's server, the message window and whoever asks it to
// shut down all take these names from here.

// The host's automation server.
inline constexpr const char* KartovaServiceName = "org.kartova.APIServer";
inline constexpr const char* KartovaObjectPath = "/org/kartova/APIServer";
inline constexpr const char* KartovaInterfaceName = "org.kartova.APIServer";

// The viewer's hidden message window, found by its caption.
inline constexpr const char* MessageWindowCaption = "skyglide_msghndlr";
inline constexpr const char* MessageWindowBusName = "org.kartova.skyglide_msghndlr";
inline constexpr const char* MessageWindowObjectPath = "/skyglide_msghndlr";
inline constexpr const char* MessageWindowInterfaceName = "org.kartova.MessageWindow";
inline constexpr const char* SendMessageMethod = "SendMessage";

// The host's shutdown request: message 0x909D with these two values. Any
// other message is ignored.
inline constexpr std::uint32_t ShutdownMessage = 37021;
inline constexpr std::uint64_t ShutdownWParam = 4242;
inline constexpr std::int64_t ShutdownLParam = 2424;

} // namespace skyglide
