#include "frontends/window/ProgramEntry.h"

#include <QtWidgets/QMessageBox>

#include <exception>

int RunNorvikWindow(QApplication& application, const std::function<std::unique_ptr<TNorvikMain>()>& makeWindow)
{
    try {
        const std::unique_ptr<TNorvikMain> window = makeWindow();
        if (!window->TerminationRequested()) window->show();
        QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, application.applicationName(), QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, application.applicationName(), QString());
    }
    return 0;
}
