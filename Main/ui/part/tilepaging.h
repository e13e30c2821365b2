#pragma once

#include <QString>

// Paging of the co-broadcast strip: the shown tiles are cut into pages of three, numbered from 0. Every
// function takes the current page and n, the number of shown tiles, and answers a page within 0 to
// lastPage(n) (0 without tiles).
namespace tilepaging {

constexpr int kTilesPerPage = 3;

int pageCount(int n);
int lastPage(int n);
// A page kept after tiles went away: at most the last page.
int clampPage(int page, int n);
// "换一批": one page on, the last page wrapping to the first.
int nextPageWrapped(int page, int n);
// The arrows: one page on or back, stopping at either end.
int nextPage(int page, int n);
int previousPage(int page, int n);
bool isOnPage(int index, int page);
// The pager's caption, "换一批(page + 1/pageCount)".
QString pagerText(int page, int n);

} // namespace tilepaging
