#pragma once
// The question the file utility asks for each conflicting or deleted file:
// replace (or delete) this one, all of them, skip it, or stop. The answer
// goes to AppState::ConfirmAnswer (1, 2, 3, 4) and comes with answered().
//
// One dialog is made per question; it deletes itself once answered.
// Closing it by its frame, Escape or Alt+F4 answers 4 (stop), so that
// dismissing a question never replaces or deletes anything.
#include "app/appstate.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;

namespace lumenta {

class VbCopyM : public QDialog {
    Q_OBJECT
public:
    // Captions by the flags of the running operation: deletion captions
    // while DeleteInProgress is 1, copy captions while CopyInProgress is 1
    // (they win when both are), the plain ones otherwise.
    explicit VbCopyM(AppState& state, QWidget* parent = nullptr);

    // Shows the question window-modally, centred on the screen.
    void ask(const QString& question);

    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;

Q_SIGNALS:
    void answered(int confirmAnswer);

protected:
    void done(int r) override;

private:
    void answer(int value);

    AppState& m_st;
    int m_answer = 4;
    bool m_answered = false;
};

} // namespace lumenta
