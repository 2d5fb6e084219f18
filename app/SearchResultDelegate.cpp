#include "app/SearchResultDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>

#include "app/CategoryIcons.h"
#include "app/SearchResults.h"

namespace {

constexpr int kMargin = 3;
constexpr int kIcon = 16;
constexpr int kSnippetLines = 2;

QList<QTextLayout::FormatRange> markFormats(const std::vector<searchtext::Span>& marks, const QPalette& palette,
                                            bool selected)
{
    QList<QTextLayout::FormatRange> formats;
    QColor back = palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight);
    back.setAlpha(60);
    for (const searchtext::Span& m : marks) {
        QTextLayout::FormatRange r;
        r.start = int(m.from);
        r.length = int(m.to - m.from);
        r.format.setFontWeight(QFont::Bold);
        r.format.setBackground(back);
        formats << r;
    }
    return formats;
}

// Draws `text` in at most `maxLines` lines of `width` from `origin`, the
// last one ended by "…" when the text goes on; returns the lines drawn.
int drawMarked(QPainter* p, const QString& text, const std::vector<searchtext::Span>& marks, const QFont& font,
               const QPalette& palette, bool selected, QPointF origin, qreal width, int maxLines)
{
    if (text.isEmpty() || width <= 0)
        return 0;
    const QString ellipsis = QStringLiteral("\u2026");
    const QFontMetricsF fm(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(maxLines > 1 ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setFormats(markFormats(marks, palette, selected));
    layout.beginLayout();
    int lines = 0;
    qreal y = 0;
    bool cut = false;
    while (lines < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        const bool last = lines == maxLines - 1;
        line.setLineWidth(width);
        if (last && line.textStart() + line.textLength() < text.size()) {
            // The last line has no room for all: it leaves room for "…".
            line.setLineWidth(std::max<qreal>(width - fm.horizontalAdvance(ellipsis), 0));
            cut = true;
        }
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    layout.draw(p, origin);
    if (cut && layout.lineCount() > 0) {
        const QTextLine line = layout.lineAt(layout.lineCount() - 1);
        p->setFont(font);
        p->drawText(origin + QPointF(line.naturalTextWidth(), line.y() + line.ascent()), ellipsis);
    }
    return lines;
}

} // namespace

QSize SearchResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics fm(option.font);
    return {option.rect.width() > 0 ? option.rect.width() : 200, 2 * kMargin + fm.height() * (2 + kSnippetLines)};
}

void SearchResultDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // The style draws the background, the selection and the focus frame.
    opt.text.clear();
    opt.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, p, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Enabled
                                           ? (option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive)
                                           : QPalette::Disabled;
    QPalette palette = option.palette;
    palette.setCurrentColorGroup(group);
    const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    QColor faint = text;
    faint.setAlphaF(0.7f);

    const QRect r = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    const QFontMetrics fm(option.font);
    const int line = fm.height();
    p->save();
    p->setClipRect(option.rect);
    const QPixmap icon = categoryPixmap(index.data(SearchResultsModel::CategoryRole).toInt(), p->device()->devicePixelRatioF());
    p->drawPixmap(QRect(r.left(), r.top() + (line - kIcon) / 2, kIcon, kIcon), icon);
    const int left = r.left() + kIcon + kMargin * 2;
    const qreal width = r.right() - left;

    // Title, bold, one line.
    QFont bold = option.font;
    bold.setBold(true);
    p->setPen(text);
    drawMarked(p, index.data(Qt::DisplayRole).toString(),
               index.data(SearchResultsModel::TitleMarksRole).value<std::vector<searchtext::Span>>(), bold, palette,
               selected, QPointF(left, r.top()), width, 1);

    // Folder, elided in the middle, and the date on the right.
    const QString date = index.data(SearchResultsModel::DateRole).toString();
    const int dateWidth = date.isEmpty() ? 0 : fm.horizontalAdvance(date) + kMargin * 2;
    p->setPen(faint);
    p->setFont(option.font);
    const QString folder = index.data(SearchResultsModel::FolderRole).toString();
    p->drawText(QRect(left, r.top() + line, int(width) - dateWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                fm.elidedText(folder.isEmpty() ? QStringLiteral("/") : folder, Qt::ElideMiddle, int(width) - dateWidth));
    if (!date.isEmpty())
        p->drawText(QRect(left, r.top() + line, int(width), line), Qt::AlignRight | Qt::AlignVCenter, date);

    // The snippet.
    const Snippet snippet = index.data(SearchResultsModel::SnippetRole).value<Snippet>();
    p->setPen(faint);
    drawMarked(p, snippet.text, snippet.marks, option.font, palette, selected, QPointF(left, r.top() + 2 * line),
               width, kSnippetLines);
    p->restore();
}
