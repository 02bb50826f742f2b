#pragma once
// The simulator's ScsiTransport set: the core sends its commands to the drives
// of a sim::Bus exactly as it would through SPTI or ASPI.
//
// Addresses: drive i of the bus is adapter i / 16, target i % 16, lun 0, with
// the letter 'D' + i (or the profile's own letter). A request is routed by its
// letter when it has one (SPTI style), else by adapter and target (an ASPI
// drive whose letter was not resolved). FindFirstDrive/FindNextDrive walk the
// drives in bus order and skip drives that have vanished.
#include "scsi/transport.h"
#include "sim_bus.h"

namespace tarvik::sim {

// How request status fields are filled:
// Spti: senseLength is honoured (0 gives no sense), osError on a transport
//       failure (1117 I/O error, 121 time-out, 1167 device gone), aspiStatus
//       and adapterStatus stay -1.
// Aspi: 14 sense bytes always, aspiStatus SS_COMP/SS_ERR (0 after a time-out,
//       SS_NO_DEVICE for a vanished drive), adapterStatus the host adapter status.
enum class TransportStyle { Spti, Aspi };

// Installs the set (transport mode 1 for Spti, 2 for Aspi) and makes the bus
// clock the process clock, so the core's waits and the drives' time agree.
void InstallSimTransport(Bus& bus, TransportStyle style = TransportStyle::Spti);
// Puts back the transport set and clock found at installation.
void UninstallSimTransport();

const ScsiTransport& SimTransportSet();

// The address FindFirstDrive/FindNextDrive give drive `index` of the bus.
DriveAddress SimAddress(const Bus& bus, size_t index);
// The drive a request addresses, or -1.
int SimDriveIndex(const Bus& bus, const DriveAddress& address);

}  // namespace tarvik::sim
