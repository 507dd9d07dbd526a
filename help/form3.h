#pragma once
// The help window: the usage sheet as one picture.

#include <QWidget>

class QLabel;

class Form3 : public QWidget
{
    Q_OBJECT

public:
    explicit Form3(QWidget *parent = nullptr);

    QLabel *Picture1 = nullptr;
};
