#pragma once

// What ties the application into the Linux desktop: the desktop entry's
// name, and the corvane:// scheme's default handler.
namespace DesktopIntegration {

inline constexpr char DesktopFileId[] = "com.nuvalto.Corvane";

// Makes the installed application the default handler of corvane:// links
// (through xdg-mime, in the background). Does nothing when the desktop entry
// is not installed, so a build run from its folder changes no settings.
void registerDefaultHandler();

} // namespace DesktopIntegration
