#pragma once
// The JPEG decoder's reasons in Norwegian: one text for each of libjpeg's message codes, written
// in libjpeg's own printf form, so that libjpeg fills in the numbers as it does for its English
// texts.

// The table, indexed by message code; JpegMessageCount() entries, none of them null.
const char* const* JpegMessageTable();
int JpegMessageCount();
