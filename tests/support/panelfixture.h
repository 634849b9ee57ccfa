#pragma once

#include "layout/panelbuilder.h"
#include "layout/panelbutton.h"
#include "layout/panellabel.h"
#include "panel/form1.h"
#include "serial/mscomm.h"
#include "support/pty.h"
#include "support/recordingreporter.h"

#include <QApplication>
#include <QTimer>

#include <memory>

namespace koru::test {

// A started panel whose COM1 is a pseudo-terminal held by the test.
struct PanelFixture
{
    PanelFixture()
    {
        static bool lookApplied = false;
        if (!lookApplied) {
            layout::applyPanelLook(*qApp);
            lookApplied = true;
        }
        form = std::make_unique<Form1>(reporter);
        form->MSComm1->setDevicePath(1, pty.slavePath());
        form->MSComm1->setDevicePath(2, secondPath);
        loaded = form->Form_Load();
    }

    PanelButton *button(const char *name) const
    {
        return form->findChild<PanelButton *>(QLatin1String(name));
    }

    // Sends through the same path a button does.
    bool send(const char *code)
    {
        form->SendText = QLatin1String(code) + QLatin1Char('\r');
        return form->Hyouji(form->SendText, Form1::kSendMode);
    }

    bool anyTimerActive() const
    {
        return form->Timer1->isActive() || form->Timer2->isActive() || form->Timer3->isActive()
            || form->Timer4->isActive();
    }

    PtyPair pty;
    QString secondPath = QStringLiteral("/dev/koru-test-no-com2");
    RecordingReporter reporter;
    std::unique_ptr<Form1> form;
    bool loaded = false;
};

} // namespace koru::test
