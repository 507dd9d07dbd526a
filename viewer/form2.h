#pragma once
// The page window: a borderless window across the screen that shows the current page
// over the typist's programs. Its own place and size are in twips; its controls, the
// page picture Image1 and the red line Line1, measure in pixels.

#include "platform/forms/forms.h"
#include "platform/window_system/window_system.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <memory>

class Form1;

// An image control without stretching: it takes its picture's own size.
class PictureControl : public QWidget
{
public:
    explicit PictureControl(QWidget *parent);

    // `rest`: the picture's rows still being decoded; painting waits for those it shows.
    void setPicture(const QImage &picture, std::shared_ptr<forms::PictureRest> rest = {});
    const QImage &picture() const { return m_picture; }
    void setTop(int pixels) { move(x(), pixels); }
    int Top() const { return y(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    std::shared_ptr<forms::PictureRest> m_rest;
};

// A straight line in the window's pixels.
struct LineControl {
    int X1 = 0;
    int Y1 = 16;
    int X2 = 376;
    int Y2 = 16;
    QColor BorderColor = QColor(0xFF, 0x00, 0x00);
    int BorderWidth = 1;
};

class Form2 : public QWidget
{
    Q_OBJECT

public:
    // Created hidden; `panel` supplies the opacity level.
    explicit Form2(Form1 *panel);

    PictureControl *Image1 = nullptr;
    LineControl Line1;

    // Place and size in twips.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setLeft(double twips);
    void setTop(double twips);
    void setWidth(double twips);
    void setHeight(double twips);

    ws::HWND hWnd();

    // Prepares the window for the opacity: method 1 makes it layered.
    void DialogAction(qint32 &dlgEffectsMethod);
    // Applies the panel's opacity level; false when the level is not a 16-bit number.
    bool fadeClick();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    // Painted through a backing store or the platform's own image, never directly.
    QPaintEngine *paintEngine() const override { return nullptr; }

private:
    void Form_Load();
    void MakeLayered();
    void place();
    QRect placementOnDesktop() const;

    Form1 *m_panel;
    // Where the panel put the window, in pixels from the primary screen's corner; held
    // against window-manager moves.
    QRect m_placement;
    int m_corrections = 0;
};
