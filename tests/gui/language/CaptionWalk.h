// Collects every text a user can read on a window: titles, captions, hints,
// menu items, column headers and the texts of edits and combo boxes.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStringList>
#include <QWidget>

struct TCaption
{
    QString where; // object name, or the class of an unnamed object
    QString text;
};

inline QString Describe(const QObject *o)
{
    return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                     : o->objectName();
}

// The text a label or button shows, else its name.
inline QString CaptionText(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w); l && !l->text().isEmpty())
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w); b && !b->text().isEmpty())
        return b->text();
    return Describe(w);
}

inline void AddCaption(QList<TCaption> &out, const QObject *o, const QString &text)
{
    if (!text.isEmpty())
        out.append({Describe(o), text});
}

inline void CollectAction(QList<TCaption> &out, const QAction *a)
{
    AddCaption(out, a, a->text());
    AddCaption(out, a, a->toolTip());
    AddCaption(out, a, a->statusTip());
    AddCaption(out, a, a->whatsThis());
}

inline void CollectWidget(QList<TCaption> &out, const QWidget *w)
{
    AddCaption(out, w, w->windowTitle());
    AddCaption(out, w, w->toolTip());
    AddCaption(out, w, w->statusTip());
    AddCaption(out, w, w->whatsThis());
    AddCaption(out, w, w->accessibleName());
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        AddCaption(out, w, b->text());
    if (auto *l = qobject_cast<const QLabel *>(w))
        AddCaption(out, w, l->text());
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        AddCaption(out, w, g->title());
    if (auto *e = qobject_cast<const QLineEdit *>(w)) {
        AddCaption(out, w, e->text());
        AddCaption(out, w, e->placeholderText());
    }
    if (auto *c = qobject_cast<const QComboBox *>(w)) {
        for (int i = 0; i < c->count(); ++i)
            AddCaption(out, w, c->itemText(i));
        AddCaption(out, w, c->currentText());
    }
    if (auto *m = qobject_cast<const QMenu *>(w))
        AddCaption(out, w, m->title());
    if (auto *v = qobject_cast<const QAbstractItemView *>(w); v && v->model()) {
        for (int c = 0; c < v->model()->columnCount(); ++c)
            AddCaption(out, w, v->model()->headerData(c, Qt::Horizontal).toString());
    }
    for (const QAction *a : w->actions())
        CollectAction(out, a);
}

// Every caption of `window` and of everything it owns, menus included.
inline QList<TCaption> CollectCaptions(const QWidget *window)
{
    QList<TCaption> out;
    CollectWidget(out, window);
    for (const QWidget *w : window->findChildren<QWidget *>())
        CollectWidget(out, w);
    for (const QAction *a : window->findChildren<QAction *>())
        CollectAction(out, a);
    return out;
}

// Chinese, Japanese and Korean script and punctuation, full-width forms.
inline bool HasCjk(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7AF) ||
            (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) ||
            (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate())
            return true;
    }
    return false;
}
