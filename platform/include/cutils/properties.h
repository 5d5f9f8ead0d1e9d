/* Host version of the platform property store (see README: ZORVIK_PROPERTY_DIR). */
#ifndef ZORVIK_PLATFORM_CUTILS_PROPERTIES_H
#define ZORVIK_PLATFORM_CUTILS_PROPERTIES_H

#ifdef __cplusplus
extern "C" {
#endif

#define PROPERTY_KEY_MAX 32
#define PROPERTY_VALUE_MAX 92

/* Copies the value (or default_value when unset) into value; returns its length. */
int property_get(const char *key, char *value, const char *default_value);
/* Returns 0 on success, -1 on failure. */
int property_set(const char *key, const char *value);

#ifdef __cplusplus
}
#endif

#endif
