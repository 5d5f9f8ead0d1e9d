// The product port table: for products whose serial interfaces do not say their role
// through bInterfaceProtocol, which interface number carries which port. This file is
// data only; an integrator replaces the rows with their own devices (docs/product-table.md).
// The rows shipped here are placeholders for invented products so the lookup can be tested.
#include "ports/ports.h"

extern "C" const ProductPortRow ProductPortTable[ZV_PRODUCT_PORT_ROWS] = {
    //  product   MODEM  DIAG   PCUI   GPS    CTRL
    {"9A01", "00", "01", "02", "_", "_"},
    {"9A02", "00", "02", "03", "_", "_"},
    {"9A03", "01", "00", "02", "03", "_"},
    {"9A04", "_", "01", "00", "_", "_"},
    // Remaining rows are zero: an empty product id never matches.
};
