#include "display/imagewindow.h"

#include "app/globals.h"
#include "app/menu.h"
#include "app/textlistwindow.h"
#include "mainwindow/mainwindow.h"

#include <QCloseEvent>
#include <QPushButton>

ImageWindow::ImageWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    Menu::instance().attachTo(menuBar());
    auto* content = new QWidget(this);
    content->setFixedSize(377, 315);
    setCentralWidget(content);
    setWindowTitle(QStringLiteral("-"));
    AddMenuHandlers();

    IDnumber = Globals::AssignID;
    move(Globals::ImageLeft[IDnumber], Globals::ImageTop[IDnumber]);
    LoadNewImage();
}

void ImageWindow::AddMenuHandlers() {}

void ImageWindow::LoadNewImage()
{
    const Main* main = Main::existing();
    if (!main)
        return;
    if (IDnumber >= main->header().shownSpecies()) {
        close();
        return;
    }
    setWindowTitle(main->header().Species[IDnumber] +
                   QStringLiteral(" (Layer %1)").arg(main->SelPlane()));
    TextListWindow::Add(QStringLiteral("LoadNewImage calls Update Display"));
}

void ImageWindow::closeEvent(QCloseEvent* event)
{
    if (Main* main = Main::existing(); main && IDnumber < 8)
        main->ButtonSpecies(IDnumber)->setChecked(false);
    Globals::ImageTop[IDnumber] = y();
    Globals::ImageLeft[IDnumber] = x();
    QMainWindow::closeEvent(event);
}
