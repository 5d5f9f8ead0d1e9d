/*
 * Port discovery: which /dev node of the attached modem is the data port (MODEM), the AT
 * control port (PCUI), DIAG, GPS and CTRL, found by reading what the kernel's serial drivers
 * bound in sysfs. The main loop calls FindPortsbyPath; the rest is exported for embedders.
 */
#ifndef ZORVIK_PORTS_PORTS_H
#define ZORVIK_PORTS_PORTS_H

#include <zvexport.h>

/* Every port path buffer handed in or out holds at most 59 characters and a terminator. */
#define ZV_PORT_PATH_SIZE 60
/* Two match slots per role (main, alternative): MODEM 0/1, PCUI 2/3, DIAG 4/5, GPS 6/7, CTRL 8/9. */
#define ZV_PORT_SLOTS 10

/*
 * One product's interface numbers by role, as text ("00".."ff", as sysfs prints
 * bInterfaceNumber) or "_" when the product has no such port. Fields are NUL padded and need
 * not be terminated when full. Note the field order differs from the slot order.
 */
typedef struct ProductPortRow {
    char product[10]; /* four hex digits, upper case as in the modalias ("9A01") */
    char modem[20];
    char diag[20];
    char pcui[20];
    char gps[20];
    char ctrl[20];
} ProductPortRow;

#define ZV_PRODUCT_PORT_ROWS 46

/* Supplied by the integrator with the build; rows with an empty product id are unused. */
ZV_API const ProductPortRow ProductPortTable[ZV_PRODUCT_PORT_ROWS];

/*
 * Searches until a modem shows up (pausing a second between passes), then hands out
 * *ports: `count` malloc'ed 60-byte strings in a malloc'ed array, the /dev path of each
 * role in `roles` ("" when not found). The caller frees each string and the array.
 * Returns 1, or 0 for bad arguments or when memory cannot be had (nothing handed out).
 */
ZV_API int FindPortsbyPath(const char **roles, int count, char ***ports);

/* Picks the attribute to read under `root` and fills the ten 60-byte match strings. */
ZV_API int GetProtocol(const char *root, const char **attribute, char **match_table);
ZV_API void GetProtocolonOption(const char **attribute, char **match_table);
ZV_API void GetProtocolonDevices(const char **attribute, char **match_table);
ZV_API void GetProtocolonSdio(const char **attribute, char **match_table);

/*
 * Scans one root. With a match table, fills found[k] (60 bytes each) with the /dev path of
 * every port whose attribute value contains match_table[k]; returns 1 if any slot was filled.
 * For the "modalias" attribute, copies the first modalias of a serial interface into found[0].
 */
ZV_API int GetPorts(const char *root, const char *attribute, char **match_table, char **found);

/* Copies the path found for each requested role into result[j] (60 bytes each). */
ZV_API void FillPortsName(const char **roles, int count, char **result, char **found);

#endif /* ZORVIK_PORTS_PORTS_H */
