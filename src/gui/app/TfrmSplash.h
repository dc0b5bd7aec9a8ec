// The splash window: a framed picture shown while the windows are created.
#pragma once

#include <QImage>
#include <QWidget>

class TfrmSplash : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 193;
    static constexpr int ClientHeight = 161;

    explicit TfrmSplash(QWidget *parent = nullptr);

    const QImage &Picture() const { return FPicture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage FPicture;
};
