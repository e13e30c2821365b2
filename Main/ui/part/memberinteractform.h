#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QMovie;

namespace Ui {
class MemberInteractForm;
}

// One tile of the co-broadcast strip: a member's live source while one is bound, else an avatar with a
// status icon, and the member's name below. The member list fills, binds and pages its eight tiles; the tile
// decides nothing and only reports a context-menu request. GUI thread only.
class MemberInteractForm : public QWidget {
    Q_OBJECT
public:
    explicit MemberInteractForm(QWidget* parent = nullptr);
    ~MemberInteractForm() override;

    // Binds the source `sourceId` (UTF-8) and shows it in place of the avatar.
    void initSource(const char* sourceId);
    // Unbinds the source and shows the avatar again.
    void finalizePreview();
    // Binds the same source again when one is bound (after the tile was hidden); else nothing.
    void refresh();
    void setMemberName(const QString& name);
    // present false: waiting; present with kind 1: in call (animated); kind 2: silenced; else no icon.
    void setStatusIcon(bool present, int kind);

    // The member the tile shows: -1 when the tile is built; written by the member list.
    qint64 userId() const { return m_userId; }
    void setUserId(qint64 userId) { m_userId = userId; }
    // True between initSource and finalizePreview; the member list clears it when it hands the tile over.
    bool isSourceBound() const { return m_bound; }
    void setSourceBound(bool bound) { m_bound = bound; }
    QString sourceId() const { return m_sourceId; }

signals:
    void ContextMenuRequested(qint64 userId);

private slots:
    void OnCustemContextMenuRequested(const QPoint& position);

private:
    void bindSource();

    std::unique_ptr<Ui::MemberInteractForm> ui;
    QMovie* m_callMovie;
    qint64 m_userId = -1;
    bool m_bound = false;
    bool m_present = false;
    int m_kind = 0;
    QString m_sourceId;
};
