"""Simulated Pelto controller: the device side of the Wi-Fi link and its channel services."""
