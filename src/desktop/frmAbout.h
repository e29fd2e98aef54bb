#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmAbout;
}

class Device;
class Host;
struct AppState;

// The About box: the title and version, and the Writer's firmware version
// when a Writer answers (asked afresh each time the box is made), else the
// notice that the program is for the T5813 only.
class frmAbout final : public QDialog {
    Q_OBJECT
  public:
    // Fills the labels and asks the Writer before the box is shown.
    frmAbout(Device& device, Host& host, AppState& state, QWidget* parent = nullptr);
    ~frmAbout() override;

  private:
    std::unique_ptr<Ui::frmAbout> ui_;
};
