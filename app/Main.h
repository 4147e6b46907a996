#pragma once
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;
class QDialog;

// The main menu: the only window that lives for the whole run.
class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);

    // Makes the windows the three buttons open (tests replace them).
    using WindowFactory = std::function<QDialog *(QWidget *owner)>;
    void setViewerFactory(WindowFactory f) { m_viewerFactory = std::move(f); }
    void setSettingFactory(WindowFactory f) { m_settingFactory = std::move(f); }
    void setContactFactory(WindowFactory f) { m_contactFactory = std::move(f); }

    QPushButton *BitBtn1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *LabelProvide = nullptr;
    QLabel *LabelVersion = nullptr;

public slots:
    void Button1Click();
    void Button2Click();
    void Button3Click();

private:
    void FormCreate();
    void runModal(const WindowFactory &factory);

    WindowFactory m_viewerFactory;
    WindowFactory m_settingFactory;
    WindowFactory m_contactFactory;
};

// "<class>: <message>" of the error in flight (call inside a catch block).
QString CurrentErrorText();
