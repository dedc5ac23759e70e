#pragma once

// Everything a user of ASN.1 values and generated message classes needs.

#include "asn1/AVNDecoder.h"
#include "asn1/AVNEncoder.h"
#include "asn1/AbstractData.h"
#include "asn1/BMPString.h"
#include "asn1/BitString.h"
#include "asn1/Boolean.h"
#include "asn1/CharacterString.h"
#include "asn1/Choice.h"
#include "asn1/CoderEnv.h"
#include "asn1/Descriptors.h"
#include "asn1/Enumerated.h"
#include "asn1/GeneralizedTime.h"
#include "asn1/Integer.h"
#include "asn1/Null.h"
#include "asn1/ObjectIdentifier.h"
#include "asn1/OctetString.h"
#include "asn1/OpenData.h"
#include "asn1/Sequence.h"
#include "asn1/SequenceOf.h"
#include "asn1/ValidChecker.h"
