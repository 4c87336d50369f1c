#include "files/FileRemoval.h"

#include <cstdint>

namespace vemkard {

FileRemoval::FileRemoval(ConsoleLink& link, const DirectoryGrid& grid, DirectoryListing& listing,
                         IUserDialogs& dialogs)
    : link_(link), grid_(grid), listing_(listing), dialogs_(dialogs) {}

void FileRemoval::StringGrid1DblClick() {
    const int row = grid_.CurrentRow();
    if (row <= 0 || row >= grid_.RowCount() - 1) return;
    // A row whose entry has not been read yet (or a stale current row) names
    // no file the user has seen.
    if (grid_.Cell(row, 0).empty()) return;
    link_.ActivateComm();
    const auto index = static_cast<std::uint8_t>(row - 1);
    link_.AddCommand(cmDeleteFile, &index, 2);
    listing_.RefreshDirectory();
}

void FileRemoval::ToolButton6Click() {
    if (!dialogs_.ConfirmWarning(kTextConfirmClear)) return;
    link_.ActivateComm();
    link_.AddCommand(cmClearAll, nullptr, 1);
    link_.UpdateQueueProgress();
}

}  // namespace vemkard
