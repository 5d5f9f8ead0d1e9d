/*
 * What differs between the two generations of the radio daemon, for the services: which one
 * runs, and the values the 8-13 daemon no longer derives from the old radio states itself
 * (voice radio technology, CDMA subscription source, SIM status), which the library now keeps
 * and reports.
 */
#ifndef ZORVIK_ZVGENERATION_H
#define ZORVIK_ZVGENERATION_H

#include <zvril.h>

namespace zv {

bool HidlGeneration();

/* The voice radio technology last told to the framework, or -1 before any. */
int VoiceRadioTech();
/* Records the technology the modem reports; in the HAL generation a change is reported
   (RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, one int). */
void NoteVoiceRadioTech(int tech);

/* In the HAL generation, reports what the socket daemon used to derive from an old radio
   state (2-9) before passing it on as ON: a change of technology family, of the CDMA
   subscription source, or of the SIM status. Called by the state's one writer before it
   reports the state itself. */
void ReportDerivedStateChanges(int state);

/* Requests the socket daemon answered by itself while the state was 2-9: exactly one int. */
void RequestVoiceRadioTech(RIL_Token t);
void RequestCdmaSubscriptionSource(RIL_Token t);

}  // namespace zv

#endif
