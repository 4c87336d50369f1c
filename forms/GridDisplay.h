// What of the directory grid a view redraws, and when: the titles at once;
// a file's cells at once too, or, while the queue display holds its changes
// back, with the rest of it, as one range of rows and columns. A listing so
// draws its rows at the display's pace rather than reply by reply.
#pragma once

#include "files/DirectoryGrid.h"
#include "forms/FormInterfaces.h"

namespace vemkard {

class QueueDisplay;

class GridDisplay : public IGridObserver {
  public:
    // Observes `grid` while it lives; `display` says when to hold back.
    GridDisplay(DirectoryGrid& grid, QueueDisplay& display);
    ~GridDisplay() override;
    GridDisplay(const GridDisplay&) = delete;
    GridDisplay& operator=(const GridDisplay&) = delete;

    // Nothing is drawn while there is no view.
    void SetView(IGridView* view) { view_ = view; }

    void RowsReset(int rowCount) override;
    void CellChanged(int row, int column) override;
    // Draws what was held back; the queue display calls it when it shows.
    void ShowHeld();

  private:
    DirectoryGrid& grid_;
    QueueDisplay& display_;
    IGridView* view_ = nullptr;
    // The rows and columns changed and not yet drawn; first > last: none.
    int firstRow_ = 0, lastRow_ = -1;
    int firstColumn_ = 0, lastColumn_ = -1;
};

}  // namespace vemkard
