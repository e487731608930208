#pragma once

#include "app/menuhandlers.h"
#include "display/imagemodel.h"

#include <QMainWindow>

class Canvas;
class QLineEdit;
class QPushButton;

// The image window of one species (IDnumber, 0 to 7): one layer of the open file as a
// false-colour picture, with its colour bar and value axis, the scale bar, and the controls of
// the display range, the axis scale and the colours. It owns its ImageModel (the loaded plane,
// the display range and its own colour table) and the pictures on its canvases; the file it
// reads belongs to the main window.
//
// It opens at its species' remembered place, reloads on LoadNewImage (the main window calls it
// when the layer or the file changes), closes itself when the open file has no species of its
// number, and on closing releases its species button and remembers its place. It deletes itself
// when closed.
class ImageWindow : public QMainWindow, public MenuHandlers
{
    Q_OBJECT

public:
    // Takes its species from Globals::AssignID and loads it.
    explicit ImageWindow(QWidget* parent = nullptr);

    // Species shown, 0-based.
    int IDnumber = 0;

    const ImageModel& model() const { return m_model; }

    // Reads the main window's selected layer of this species and redraws; closes the window
    // when the open file has no such species or no frames it can show.
    void LoadNewImage();
    // Redraws the picture, the colour bar and the scale bar from the model; draws nothing while
    // the display range is empty or reversed, or before a plane has been loaded.
    void UpdateDisplay();
    // Takes catalogue table `table` with the given high and low colours, and redraws.
    void SetColors(int table, QRgb high, QRgb low);

    // The window's content size (the area below the menu bar).
    QSize contentSize() const;

    QPushButton* LinLogButton() const { return m_linLogButton; }
    QPushButton* MinButton() const { return m_minButton; }
    QLineEdit* MinValueField() const { return m_minValueField; }
    QPushButton* MaxButton() const { return m_maxButton; }
    QLineEdit* MaxValueField() const { return m_maxValueField; }
    QPushButton* ColorButton() const { return m_colorButton; }
    Canvas* ImageCanvas() const { return m_imageCanvas; }
    Canvas* ColorBarCanvas() const { return m_colorBarCanvas; }
    Canvas* ScaleCanvas() const { return m_scaleCanvas; }

    bool _Windowx256_Action();
    bool _Windowx512_Action();
    bool _FileSaveImage_Action();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Layout();
    void Event_Open();
    void AddMenuHandlers();
    void setContentSize(int width, int height);

    void LinLogButton_Action();
    void MinButton_Action();
    void MaxButton_Action();
    void MinValueField_TextChange(const QString& text);
    void MaxValueField_TextChange(const QString& text);
    // What the two limits' mode buttons and fields share.
    void toggleLimit(bool& automatic, double& limit, double extreme, QPushButton* button,
                     QLineEdit* field, const QString& autoCaption, const QString& manualCaption);
    void limitTextChanged(const QString& text, bool& automatic, double& limit, QPushButton* button,
                          const QString& manualCaption, const QString& historyLine);
    void ColorButton_Action();

    ImageModel m_model;
    // True while LoadNewImage writes the automatic limits into the fields: their change
    // handlers then leave the redraw to the load, which redraws once at its end.
    bool m_loading = false;
    // The scale-bar problem of a file is told once per window, not at every redraw.
    bool m_scaleProblemShown = false;

    QWidget* m_content = nullptr;
    QPushButton* m_linLogButton = nullptr;
    QPushButton* m_minButton = nullptr;
    QLineEdit* m_minValueField = nullptr;
    QPushButton* m_maxButton = nullptr;
    QLineEdit* m_maxValueField = nullptr;
    QPushButton* m_colorButton = nullptr;
    Canvas* m_imageCanvas = nullptr;
    Canvas* m_colorBarCanvas = nullptr;
    Canvas* m_scaleCanvas = nullptr;
};
