/*
 * Host version of the platform's network utility library (libnetutils): bring an interface
 * up or down, set its IPv4 address, add or remove its default route and read its address,
 * through the kernel's interface and route ioctls. Every call returns 0 on success and -1
 * (errno set) on failure. The host version keeps no shared socket: each call opens its own,
 * so ifc_init/ifc_close only count users and any thread may call at any time.
 */
#ifndef ZORVIK_PLATFORM_NETUTILS_IFC_H
#define ZORVIK_PLATFORM_NETUTILS_IFC_H

#include <netinet/in.h>

#ifdef __cplusplus
extern "C" {
#endif

int ifc_init(void);
void ifc_close(void);

int ifc_up(const char *name);
int ifc_down(const char *name);
/* Address in network byte order; the kernel derives the netmask from the address class. */
int ifc_set_addr(const char *name, in_addr_t addr);
int ifc_get_addr(const char *name, in_addr_t *addr);
/* Any output pointer may be null; an interface without an address reports 0. */
int ifc_get_info(const char *name, in_addr_t *addr, int *prefixLength, unsigned *flags);

/* Default route through gw (network byte order) on the interface. */
int ifc_create_default_route(const char *name, in_addr_t gw);
int ifc_remove_default_route(const char *name);

#ifdef __cplusplus
}
#endif

#endif
