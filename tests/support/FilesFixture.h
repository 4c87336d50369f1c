// The file side of the main window over a console played by the test: the
// link, the directory grid and its listing, scripted dialogs and a private
// folder for local files. Fixtures add the operation they test.
#pragma once

#include <gtest/gtest.h>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeLink.h"
#include "tests/support/TempFiles.h"

namespace vemkard::testing {

class FilesFixture : public ::testing::Test {
  protected:
    TempFolder folder;
    ConsoleRig rig;
    FakeDialogs dialogs;
    DirectoryGrid grid;
    DirectoryListing listing{rig.link, grid};
};

}  // namespace vemkard::testing
