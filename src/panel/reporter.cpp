#include "panel/reporter.h"

#include <QMessageBox>

namespace koru {

void MessageBoxReporter::warn(QWidget *parent, const QString &title, const QString &message)
{
    QMessageBox::warning(parent, title, message, QMessageBox::Ok);
}

} // namespace koru
