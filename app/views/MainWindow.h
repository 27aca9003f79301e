#pragma once

#include <QMainWindow>

// The one main window of Brimvale.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
};
