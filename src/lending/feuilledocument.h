#pragma once

#include "module/lumascreen.h"

#include <QHash>
#include <array>

class QLabel;
class QLineEdit;

// The document entry screen, last of the lending chain. The child choice
// screen puts it into borrow mode (number pad, lookup after each digit, the
// borrow button once a lendable document on the shelf is found) or return
// mode (the document on loan and the return button), then opens it modally.
// A borrow or a return writes the catalogue record and the day's journal and
// sends the child back to the child choice screen. Each digit touched is said,
// and the title of a document found as it appears.
class feuilledocument : public LumaScreen
{
public:
    explicit feuilledocument(AppContext &context);

    void Form_Load();
    void Form_Activate() override;

    // Controls the child choice screen sets before opening this screen.
    Panel3D *Panel3D1() const { return m_panel3D1; }
    Panel3D *Panel3D3() const { return m_panel3D3; }
    QLineEdit *Text1() const { return m_text1; }
    PictureImage *Dessin1() const { return m_dessin1; }
    Button3D *Command3D1(int i) const { return m_command3D1.at(i); }
    Button3D *Command3D2() const { return m_command3D2; }
    Button3D *Command3D4() const { return m_command3D4; }
    Button3D *Command3D5() const { return m_command3D5; }
    QLabel *Etiquette1() const { return m_etiquette1; }
    QLabel *Etiquette2() const { return m_etiquette2; }

    void Text1_Change();
    void Command3D1_Click(int Index);
    void Command3D2_Click();
    void Command3D3_Click();
    void Command3D4_Click();
    void Command3D5_Click();
    void Picture3_Click();

    // The title band's text and colour.
    void setTitle(const QString &text, const QColor &color);
    // Shows the cover of a document, or clears it when the file is missing;
    // an empty inventory number leaves the picture as it is.
    void showCover(const QString &inventaire);

    // Keeps the loan fields of the current document as the child now sees
    // them (the lookup and the child choice call it): a borrow or a return
    // writes only if the record still holds them.
    void retientDocumentMontre();

    // The most digits an inventory number has.
    static constexpr int kMaxDigits = 5;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setLoanButtons(bool borrow, bool giveBack);
    QHash<QString, QString> m_montre;
    // The word of the digit button being touched, said by the lookup it runs.
    QString m_chiffreTouché;
    void backToChildChoice();

    Panel3D *m_panel3D1 = nullptr;
    PictureImage *m_picture3 = nullptr;
    Button3D *m_command3D3 = nullptr;
    Panel3D *m_panel3D2 = nullptr;
    PictureImage *m_dessin1 = nullptr;
    Panel3D *m_panel3D3 = nullptr;
    QLineEdit *m_text1 = nullptr;
    std::array<Button3D *, 10> m_command3D1{};
    Button3D *m_command3D2 = nullptr;
    Button3D *m_command3D4 = nullptr;
    QLabel *m_etiquette1 = nullptr;
    Button3D *m_command3D5 = nullptr;
    QLabel *m_etiquette2 = nullptr;
};
