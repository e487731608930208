#pragma once

#include "app/menuhandlers.h"

#include <QMainWindow>

// The image window of one species (IDnumber, 0 to 7). This is the part the main window relies
// on: it opens at its species' remembered place, reloads on LoadNewImage, closes itself when
// the open file has no species of its number, and releases its species button and remembers
// its place when it closes. It deletes itself when closed.
class ImageWindow : public QMainWindow, public MenuHandlers
{
    Q_OBJECT

public:
    // Takes its species from Globals::AssignID and loads it.
    explicit ImageWindow(QWidget* parent = nullptr);

    // Species shown, 0-based.
    int IDnumber = 0;

    // Loads the main window's selected layer of this species; closes the window when the open
    // file has no such species.
    void LoadNewImage();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AddMenuHandlers();
};
