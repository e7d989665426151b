#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTabWidget;
class Analizator;
class AnalizatorLog;
class Wobuloskop;
class Generator;
class Multimetr;
class Oscyloskop;
class Reconnection;
class Setups;
class Ustawienia;
class ZORCom;

// The one window: tab bar, status line, port button, the panels' controls and
// the plot. Polls every 50 ms for a fresh frame and for the status text.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void text(const QString &status);

protected:
    void timerEvent(QTimerEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void tabSlot();
    void comSlot();

private:
    void showStatus(const QString &status);
    int acquisitionTimeBase() const;
    bool noData();
    void expectFrames();
    void closeRecentDevice();
    void openNewDevice();
    void startCurrentInstrument();
    void setTextPos(QMouseEvent *event);
    std::optional<QPoint> reference() const;
    void setReference(std::optional<QPoint> point);
    void hideReadouts();
    bool openLink(const QString &name, int speed);
    void watchLostLine();
    QRegion plotRegion() const;

    QWidget *centralWidget;
    QTabWidget *tabWidget;
    QLabel *statusLabel;
    QLabel *posLabelT;
    QLabel *posLabelU;
    // Beside them, the pointer against the reference cursor.
    std::array<QLabel *, 3> deltaLabels {};
    QPushButton *portButton;
    std::unique_ptr<Oscyloskop> oscyloskop;
    std::unique_ptr<Generator> generator;
    std::unique_ptr<Analizator> analizator;
    std::unique_ptr<AnalizatorLog> analizatorLog;
    std::unique_ptr<Wobuloskop> wobuloskop;
    std::unique_ptr<Ustawienia> ustawienia;
    std::unique_ptr<ZORCom> com;
    Reconnection *reconnection;
    Setups *setups;
    Multimetr *multimetr; // owned by the window
    QString linkPort; // the port and speed of the latest open, to reopen after an unplug
    int linkSpeed = 0;
    int device = 0;
    bool portOpen = false;
    // The tab's instrument starts once the Wobuloskop has put the generator back.
    bool startPending = false;
    // The button held sets or removes the reference cursor; it shows no readout.
    bool referencePress = false;
    // When the last good frame came (or frames became due), and at what time base.
    std::uint64_t framesSeen = 0;
    QElapsedTimer frameClock;
    int lastFrameTimeBase = 0;
};
