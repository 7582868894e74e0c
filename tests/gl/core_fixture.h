// The demo's whole Core in a hidden window, for the tests of its parts: a window of the
// given size, the archive data.zip (run from build/) opened and every scheduled part
// initialised. Call openCore from SetUpTestSuite (return when HasFatalFailure()) and
// closeCore from TearDownTestSuite.
#pragma once
#include "gl_fixture.h"

#include "app/screen.h"
#include "core/core.h"
#include "resources/loader.h"

inline void openCore(const char* title, int width, int height)
{
    openTestWindow(title, width, height);
    if (::testing::Test::HasFatalFailure()) {
        return;
    }
    screen.width = width;
    screen.height = height;
    loader.open("data.zip");
    ASSERT_TRUE(loader.opened);
    ASSERT_EQ(core.init(), 0);
}

inline void closeCore()
{
    core.release();
    platform::destroyWindow();
}

// The first scheduled part of class Part (null when the schedule has none).
template <typename Part>
Part* findPart()
{
    for (ScheduleEntry& entry : core.schedule) {
        if (Part* part = dynamic_cast<Part*>(entry.effect)) {
            return part;
        }
    }
    return nullptr;
}
