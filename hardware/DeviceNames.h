#pragma once

// The one place that names each kernel device the hardware classes open.
const char* GetVoiceDevName();
const char* GetMixerDevName();
const char* GetDTMFDevName();
const char* GetDSPDevName();
const char* GetRtpDevName();
const char* GetRtpExtDevName();
const char* GetModemDevName();
const char* GetMaintenance();
const char* GetSpiTdmDevName();
const char* GetUsbTdmDevName();

// Names a codec number for log lines; "invalid" for an unknown one.
const char* GetCodecAsStr(int code);

// Writes the current call stack (at most 10 frames) to the standard output.
void print_trace();
