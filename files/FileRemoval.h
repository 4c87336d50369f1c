// Removing files from the console: one file by a double click on its grid
// row (no question asked), or all files after a confirmation. Both end with a
// fresh listing. User-interface thread only.
#pragma once

#include <string_view>

#include "files/DirectoryGrid.h"
#include "files/DirectoryListing.h"
#include "files/UserDialogs.h"
#include "protocol/ConsoleLink.h"

namespace vemkard {

// Line feed, then carriage return, between the two sentences.
inline constexpr std::string_view kTextConfirmClear =
    "Вы собираетесь удалить все файлы из памяти пульта!\n\rПодтвердите Ваше желание:";

class FileRemoval {
  public:
    FileRemoval(ConsoleLink& link, const DirectoryGrid& grid, DirectoryListing& listing,
                IUserDialogs& dialogs);

    // Grid double click: deletes the file of the grid's current row, when that
    // is a file row (neither the titles nor the free-space row) whose entry
    // has been read (its number cell is filled), and queues a refresh behind
    // it. Otherwise does nothing, not even open the link.
    void StringGrid1DblClick();

    // Clear button: after a Yes to the warning box, opens the link and queues
    // cmClearAll. The console's reply queues the refresh.
    void ToolButton6Click();

  private:
    ConsoleLink& link_;
    const DirectoryGrid& grid_;
    DirectoryListing& listing_;
    IUserDialogs& dialogs_;
};

}  // namespace vemkard
