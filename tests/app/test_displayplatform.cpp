// The windowing system chosen from the environment.
#include "app/displayplatform.h"

#include <gtest/gtest.h>

using lumenta::preferredPlatforms;

TEST(DisplayPlatform, WaylandFirstWhereTheSessionHasIt) {
    const struct {
        const char* qpa;
        const char* waylandDisplay;
        const char* sessionType;
        const char* expected; // "" leaves Qt's own choice
    } cases[] = {
        {"", "wayland-0", "wayland", "wayland;xcb"},
        {"", "wayland-0", "", "wayland;xcb"},      // a compositor without a session
        {"", "", "wayland", "wayland;xcb"},        // the socket at its default name
        {"", "", "x11", ""},                       // X11 as Qt chooses it
        {"", "", "", ""},                          // nothing known: Qt's default
        {"xcb", "wayland-0", "wayland", ""},       // the user's choice stands
        {"offscreen", "wayland-0", "wayland", ""}, // tests
        {"wayland", "", "x11", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.qpa << "|" << c.waylandDisplay << "|" << c.sessionType);
        EXPECT_EQ(preferredPlatforms(c.qpa, c.waylandDisplay, c.sessionType),
                  QByteArray(c.expected));
    }
}
