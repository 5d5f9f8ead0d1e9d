// The routing tables of the dispatcher: request number -> service, and unsolicited line
// prefix -> service (first matching row wins, so order matters: "+CMT:" must not catch
// "+CMTI:", and it cannot, because "+CMT:" does not begin "+CMTI:").
#ifndef ZORVIK_DISPATCH_TABLES_H
#define ZORVIK_DISPATCH_TABLES_H

#include <zvril.h>

namespace zv {

struct RequestRoute {
    int request;
    ServiceId service;
};

struct UnsolicitedRoute {
    const char *prefix;
    ServiceId service;
};

inline constexpr RequestRoute kRequestRoutes[] = {
    // SIM and toolkit
    {1, ZV_SERVICE_SIM}, {2, ZV_SERVICE_SIM}, {3, ZV_SERVICE_SIM}, {4, ZV_SERVICE_SIM}, {5, ZV_SERVICE_SIM},
    {6, ZV_SERVICE_SIM}, {7, ZV_SERVICE_SIM}, {8, ZV_SERVICE_SIM}, {11, ZV_SERVICE_SIM}, {28, ZV_SERVICE_SIM},
    {67, ZV_SERVICE_SIM}, {68, ZV_SERVICE_SIM}, {69, ZV_SERVICE_SIM}, {70, ZV_SERVICE_SIM}, {71, ZV_SERVICE_SIM},
    // call control
    {9, ZV_SERVICE_CC}, {10, ZV_SERVICE_CC}, {12, ZV_SERVICE_CC}, {13, ZV_SERVICE_CC}, {14, ZV_SERVICE_CC},
    {15, ZV_SERVICE_CC}, {16, ZV_SERVICE_CC}, {17, ZV_SERVICE_CC}, {18, ZV_SERVICE_CC}, {24, ZV_SERVICE_CC},
    {31, ZV_SERVICE_CC}, {32, ZV_SERVICE_CC}, {33, ZV_SERVICE_CC}, {34, ZV_SERVICE_CC}, {35, ZV_SERVICE_CC},
    {36, ZV_SERVICE_CC}, {40, ZV_SERVICE_CC}, {49, ZV_SERVICE_CC}, {50, ZV_SERVICE_CC}, {52, ZV_SERVICE_CC},
    {53, ZV_SERVICE_CC}, {54, ZV_SERVICE_CC}, {55, ZV_SERVICE_CC}, {72, ZV_SERVICE_CC}, {84, ZV_SERVICE_CC},
    {85, ZV_SERVICE_CC},
    // network (61, screen state, is served before the gate)
    {19, ZV_SERVICE_MM}, {20, ZV_SERVICE_MM}, {21, ZV_SERVICE_MM}, {22, ZV_SERVICE_MM}, {45, ZV_SERVICE_MM},
    {46, ZV_SERVICE_MM}, {47, ZV_SERVICE_MM}, {48, ZV_SERVICE_MM}, {73, ZV_SERVICE_MM}, {74, ZV_SERVICE_MM},
    {75, ZV_SERVICE_MM}, {76, ZV_SERVICE_MM}, {112, ZV_SERVICE_MM},
    // device
    {23, ZV_SERVICE_DEV}, {38, ZV_SERVICE_DEV}, {39, ZV_SERVICE_DEV}, {42, ZV_SERVICE_DEV}, {43, ZV_SERVICE_DEV},
    {51, ZV_SERVICE_DEV}, {58, ZV_SERVICE_DEV}, {59, ZV_SERVICE_DEV}, {60, ZV_SERVICE_DEV}, {65, ZV_SERVICE_DEV},
    {66, ZV_SERVICE_DEV}, {77, ZV_SERVICE_DEV}, {78, ZV_SERVICE_DEV}, {79, ZV_SERVICE_DEV}, {95, ZV_SERVICE_DEV},
    {98, ZV_SERVICE_DEV},
    // SMS
    {25, ZV_SERVICE_SMS}, {26, ZV_SERVICE_SMS}, {37, ZV_SERVICE_SMS}, {63, ZV_SERVICE_SMS}, {64, ZV_SERVICE_SMS},
    {87, ZV_SERVICE_SMS}, {88, ZV_SERVICE_SMS}, {89, ZV_SERVICE_SMS}, {90, ZV_SERVICE_SMS}, {91, ZV_SERVICE_SMS},
    {96, ZV_SERVICE_SMS}, {97, ZV_SERVICE_SMS}, {100, ZV_SERVICE_SMS}, {101, ZV_SERVICE_SMS}, {113, ZV_SERVICE_SMS},
    // packet data
    {27, ZV_SERVICE_PS}, {41, ZV_SERVICE_PS}, {56, ZV_SERVICE_PS}, {57, ZV_SERVICE_PS},
    // USSD and supplementary-service notices
    {29, ZV_SERVICE_USSD}, {30, ZV_SERVICE_USSD}, {44, ZV_SERVICE_USSD}, {62, ZV_SERVICE_USSD},
};

inline constexpr UnsolicitedRoute kUnsolicitedRoutes[] = {
    {"+CREG:", ZV_SERVICE_MM},    {"+CGREG:", ZV_SERVICE_MM},   {"^MODE:", ZV_SERVICE_MM},
    {"^RSSI:", ZV_SERVICE_MM},    {"^CSNR:", ZV_SERVICE_MM},    {"^CRSSI:", ZV_SERVICE_MM},
    {"^HDRRSSI:", ZV_SERVICE_MM}, {"^SRVST:", ZV_SERVICE_MM},   {"^HCSQ:", ZV_SERVICE_MM},
    {"^NWTIME:", ZV_SERVICE_MM},  {"+CIREGU:", ZV_SERVICE_MM},  {"RING", ZV_SERVICE_CC},
    {"NO CARRIER", ZV_SERVICE_CC}, {"+CCWA", ZV_SERVICE_CC},    {"+CCCM:", ZV_SERVICE_CC},
    {"+CLCC:", ZV_SERVICE_CC},    {"^CONN:", ZV_SERVICE_CC},    {"^CEND:", ZV_SERVICE_CC},
    {"^ORIG:", ZV_SERVICE_CC},    {"+CRING:", ZV_SERVICE_CC},   {"+CMT:", ZV_SERVICE_SMS},
    {"+CMTI:", ZV_SERVICE_SMS},   {"^HCMTI:", ZV_SERVICE_SMS},  {"+CBM:", ZV_SERVICE_SMS},
    {"+CDS:", ZV_SERVICE_SMS},    {"+CDSI:", ZV_SERVICE_SMS},   {"^SMMEMFULL:", ZV_SERVICE_SMS},
    {"+CSSU:", ZV_SERVICE_USSD},  {"+CUSD:", ZV_SERVICE_USSD},  {"^DCONN", ZV_SERVICE_PS},
    {"^DEND", ZV_SERVICE_PS},     {"^NDISSTAT:", ZV_SERVICE_PS}, {"^SIMST", ZV_SERVICE_SIM},
    {"^STIN", ZV_SERVICE_SIM},    {"+CUSATEND", ZV_SERVICE_SIM}, {"+CUSATP:", ZV_SERVICE_SIM},
    {"*PSSIMSTAT:", ZV_SERVICE_SIM},
};
static_assert(sizeof kUnsolicitedRoutes / sizeof kUnsolicitedRoutes[0] == 37);
static_assert(sizeof kRequestRoutes / sizeof kRequestRoutes[0] == 93);

ServiceId ServiceForRequest(int request);
ServiceId ServiceForLine(const char *line);

}  // namespace zv

#endif
