"""The namespace's TCP connections, from /proc/net/tcp."""

from dataclasses import dataclass

# The kernel's state numbers (include/net/tcp_states.h).
ESTABLISHED = 1
SYN_SENT = 2


@dataclass
class Connection:
    local_port: int
    remote_port: int
    state: int


def connections():
    found = []
    with open("/proc/net/tcp") as table:
        next(table)  # the heading
        for line in table:
            fields = line.split()
            local, remote, state = fields[1], fields[2], fields[3]
            found.append(Connection(int(local.split(":")[1], 16), int(remote.split(":")[1], 16), int(state, 16)))
    return found


def client_ends(server_port, state=None):
    """The client ends of connections to server_port, in state if given."""
    return [c for c in connections() if c.remote_port == server_port and (state is None or c.state == state)]
