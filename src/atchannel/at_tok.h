/*
 * Tokenizer for AT response lines of the form "<prefix>: <v>,<v>,...". Works in place on the
 * caller's writable copy of the line; returned strings point into that copy.
 */
#ifndef ZORVIK_AT_TOK_H
#define ZORVIK_AT_TOK_H

#include <zvexport.h>

ZV_API int at_tok_start(char **cursor);
ZV_API int at_tok_nextint(char **cursor, int *out);
ZV_API int at_tok_nexthexint(char **cursor, int *out);
ZV_API int at_tok_nextbool(char **cursor, char *out);
ZV_API int at_tok_nextstr(char **cursor, char **out);
ZV_API int at_tok_hasmore(char **cursor);
ZV_API int strStartsWith(const char *line, const char *prefix);
ZV_API int char_to_int(const char *c);

#endif
