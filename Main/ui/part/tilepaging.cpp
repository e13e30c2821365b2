#include "ui/part/tilepaging.h"

#include <algorithm>

namespace tilepaging {

int pageCount(int n) { return n <= 0 ? 0 : (n + kTilesPerPage - 1) / kTilesPerPage; }

int lastPage(int n) { return n <= 0 ? 0 : (n - 1) / kTilesPerPage; }

int clampPage(int page, int n) { return n <= 0 ? 0 : std::clamp(page, 0, lastPage(n)); }

int nextPageWrapped(int page, int n) { return n <= 0 ? 0 : (clampPage(page, n) + 1) % pageCount(n); }

int nextPage(int page, int n) { return n <= 0 ? 0 : std::min(page + 1, lastPage(n)); }

int previousPage(int page, int n) { return n <= 0 ? 0 : std::min(std::max(page - 1, 0), lastPage(n)); }

bool isOnPage(int index, int page) { return index >= page * kTilesPerPage && index < (page + 1) * kTilesPerPage; }

QString pagerText(int page, int n)
{
    return QString::fromUtf8("换一批(%1/%2)").arg(page + 1).arg(pageCount(n));
}

} // namespace tilepaging
