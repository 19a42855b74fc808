#pragma once

#include <QFutureWatcher>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class TResultsView;

// The find bar under the results text: finds as the user types, counts every match ("k of n"),
// marks them in the view and selects the current one. The search runs off the user-interface
// thread; a newer search makes an older one stop.
class TResultsFindBar : public QWidget {
    Q_OBJECT
public:
    explicit TResultsFindBar(TResultsView& AView, QWidget* AParent = nullptr);
    ~TResultsFindBar() override;

    // Shows the bar with its text selected for typing over.
    void Open();
    // Hides the bar and its marks.
    void Close();
    // Searches again, as after the view was given another text.
    void Refresh();
    void Next();
    void Previous();
    // Whether a search is still running.
    bool Searching() const { return FPending; }

    QLineEdit* FindEdit;
    QCheckBox* MatchCase;
    QLabel* CountLabel;

signals:
    // A search has ended and its count is shown.
    void Found();

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
    void Search();
    void Searched();
    void Select(std::size_t AIndex);
    void ShowCount();

    TResultsView& FView;
    QFutureWatcher<std::vector<int64_t>> FWatcher;
    std::shared_ptr<std::atomic<bool>> FCancel;
    QString FNeedle;
    std::size_t FCurrent = 0;
    bool FPending = false; // a search whose result has not been taken yet
};
