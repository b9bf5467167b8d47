#pragma once
// The information window: title, version, and a button that starts the
// desktop's system information tool.
#include "app/appcontext.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace lumenta {

class FrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit FrmAbout(AppContext& ctx, QWidget* parent = nullptr);

    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QPushButton* cmdOK = nullptr;

    // Starts the system information tool, or says it is missing.
    void StartSysInfo();

    // The tools looked for on PATH, in order.
    static QStringList systemInfoTools();

private:
    AppContext& m_ctx;
};

} // namespace lumenta
