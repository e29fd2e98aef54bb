#pragma once

#include <QDialog>

class QShowEvent;

// A dialog that is placed once, the first time it is shown, when its frame
// is known: centred on its screen (windowstyle::CentreOnScreen), or where
// PlaceWhenFirstShown() puts it. Shown again, it stays where the user left
// it.
class CentredDialog : public QDialog {
  public:
    explicit CentredDialog(QWidget* parent = nullptr) : QDialog(parent) {}

  protected:
    void showEvent(QShowEvent* event) override;
    // The first placement; centres the dialog unless overridden.
    virtual void PlaceWhenFirstShown();

  private:
    bool placed_ = false;
};
