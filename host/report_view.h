// The host's report view (52409): a text file of tab-separated columns drawn
// into the transcript by its column layout ("l-1Name\rc10Plot..."; l left,
// c centre, p right; width -1 takes the rest). A session may have it draw
// only the first lines of a report (host/transcript.h).
#pragma once

namespace torval {

void show_report(const char* file, const char* layout, const char* title);

}  // namespace torval
