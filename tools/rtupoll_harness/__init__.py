"""Test, demo and benchmark harness for rtupoll's field links.

Starts the built program from a program folder of its own (setting.ini
written first), the simulated devices (rtu-sim) and slow links
(link_proxy.py), breaks links with nftables inside a private network
namespace, and judges what data.csv shows.
"""
