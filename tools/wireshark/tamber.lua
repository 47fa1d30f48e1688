-- Wireshark dissector for the TamberLauncher protocol: a 16-byte header of four
-- little-endian 32-bit integers (header size, version, type, payload length)
-- followed by payload-length bytes of text, in both directions of a TCP stream.
--
-- Install: copy this file to ~/.local/lib/wireshark/plugins/ (or load it with
-- tshark -X lua_script:tamber.lua). Streams are found by their first header
-- (size 16, version 1) on any port; where another dissector owns the port,
-- set tcp.try_heuristic_first, or list the ports under
-- Preferences > Protocols > TAMBER (tshark: -o tamber.ports:27100-27102).
--
-- Filters: tamber.type_name, tamber.type, tamber.payload; hide the protocol's
-- own traffic with  tamber && !(tamber.type in {4 5}) ; each reply carries
-- tamber.reply_to (the frame of the message it answers) and tamber.response_time;
-- the message carries tamber.reply_in once the reply has been seen (tshark -2).

local tamber = Proto("tamber", "TamberLauncher protocol")

local HEADER_SIZE = 16
local VERSION = 1
local INVALID = 35
local HEARTBEAT = 4
local REPLY = 5
local MAX_PAYLOAD = 16 * 1024 * 1024

local type_names = {
    [0] = "GAMECLIENT_CREATE", "GAMECLIENT_STOPPED", "GAMECLIENT_CRASHED", "CLOSE", "HEARTBEAT", "REPLY",
    "LAUNCHERCLIENT", "GAMECLIENT_ABANDONED", "GAMECLIENT_LAUNCHED", "GAMECLIENT_VERSION_MISMATCH",
    "GAMECLIENT_CONNECTED_TO_SERVER", "CHATMESSAGE_TO_GAME", "CHATMESSAGE_FROM_GAME",
    "GAMECLIENT_CREATE_VERSION", "GAMECLIENT_INSTALL_VERSION", "GAMECLIENT_CANCEL_INSTALL",
    "GAMECLIENT_INSTALL_PROGRESS", "GAMECLIENT_INSTALL_PREVIEW", "GAMECLIENT_CANCEL_PREVIEW",
    "GAMECLIENT_PREVIEW_PROGRESS", "PLAY_REPLAY", "GAMECLIENT_UNINSTALL_VERSION",
    "GAMECLIENT_CANCEL_UNINSTALL", "GAMECLIENT_UNINSTALL_PROGRESS", "GAMECLIENT_UNINSTALL_PREVIEW",
    "GAMECLIENT_CANCEL_UNINSTALL_PREVIEW", "GAMECLIENT_PREVIEW_UNINSTALL_PROGRESS",
    "GAMECLIENT_ENUMERATE_VERSIONS", "GAMECLIENT_CREATE_CLIENT_AND_PRELOAD",
    "GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS", "GAMECLIENT_INITIAL_PRELOAD_COMPLETE",
    "GAMECLIENT_UPDATE_PLAYER_CONNECTION", "GAMECLIENT_PLAY_PRELOADED_GAME",
    "GAMECLIENT_GAME_LOADING_COMPLETE", "KILL_GAMECLIENT_PROCESS", "INVALID",
}
local type_values = {}
for value, name in pairs(type_names) do type_values[value] = "VANTORMESSAGETYPE_" .. name end

local f = {
    header_size = ProtoField.uint32("tamber.header_size", "Header size", base.DEC),
    version = ProtoField.uint32("tamber.version", "Version", base.DEC),
    type = ProtoField.int32("tamber.type", "Type", base.DEC, type_values),
    type_name = ProtoField.string("tamber.type_name", "Type name"),
    payload_length = ProtoField.int32("tamber.payload_length", "Payload length", base.DEC),
    payload = ProtoField.string("tamber.payload", "Payload"),
    unread = ProtoField.bytes("tamber.unread", "Bytes the receiver never reads"),
    reply_to = ProtoField.framenum("tamber.reply_to", "Reply to the message in frame", base.NONE,
        frametype.RESPONSE),
    reply_in = ProtoField.framenum("tamber.reply_in", "Reply in frame", base.NONE, frametype.REQUEST),
    response_time = ProtoField.relative_time("tamber.response_time", "Response time"),
}
tamber.fields = { f.header_size, f.version, f.type, f.type_name, f.payload_length, f.payload, f.unread,
    f.reply_to, f.reply_in, f.response_time }

local e = {
    header_size = ProtoExpert.new("tamber.bad_header_size", "Invalid message header size on incoming message",
        expert.group.MALFORMED, expert.severity.WARN),
    version = ProtoExpert.new("tamber.bad_version", "Invalid version on incoming message",
        expert.group.MALFORMED, expert.severity.WARN),
    type = ProtoExpert.new("tamber.bad_type", "Invalid message type",
        expert.group.MALFORMED, expert.severity.WARN),
    negative_type = ProtoExpert.new("tamber.negative_type",
        "Type outside the enumeration (negative): the receiver accepts and answers it",
        expert.group.PROTOCOL, expert.severity.WARN),
    negative_length = ProtoExpert.new("tamber.negative_length",
        "Negative payload length: the receiver reads no payload", expert.group.MALFORMED, expert.severity.WARN),
    too_long = ProtoExpert.new("tamber.payload_too_long",
        "Payload length over the 16 MiB cap: the receiver stops reading this connection",
        expert.group.MALFORMED, expert.severity.ERROR),
    unread = ProtoExpert.new("tamber.unread_data", "Sent after a refused payload length: never read",
        expert.group.SEQUENCE, expert.severity.WARN),
    no_reply = ProtoExpert.new("tamber.unmatched_reply", "Reply with no unanswered message before it",
        expert.group.SEQUENCE, expert.severity.WARN),
}
tamber.experts = { e.header_size, e.version, e.type, e.negative_type, e.negative_length, e.too_long, e.unread,
    e.no_reply }

tamber.prefs.ports = Pref.range("TCP ports", "", "TCP ports always decoded as this protocol", 65535)

local tcp_stream = Field.new("tcp.stream")

-- State built on the first pass, in capture order, and read back on every later one.
local messages = {}   -- key of one message -> { reply_to, response_time, reply_in }
local pending = {}    -- sending direction -> queue of messages still waiting for their reply
local stopped = {}    -- sending direction -> frame from which the receiver reads nothing

local function direction(pinfo, port)
    return tostring(tcp_stream() and tcp_stream().value or "") .. ":" .. tostring(port)
end

-- The effective type after the receiver's checks, as it delivers the message.
local function effective_type(header_size, version, msg_type)
    if header_size ~= HEADER_SIZE or version ~= VERSION or msg_type >= INVALID then return INVALID end
    return msg_type
end

local function answered(effective)
    return effective ~= REPLY and effective < INVALID
end

local function link_reply(pinfo, key, effective)
    local record = messages[key]
    if record or pinfo.visited then return record end
    record = {}
    messages[key] = record
    if effective == REPLY then
        local queue = pending[direction(pinfo, pinfo.dst_port)]
        local request = queue and table.remove(queue, 1)
        if request then
            local delta = pinfo.abs_ts - request.time
            local seconds = math.floor(delta)
            record.reply_to = request.frame
            record.response_time = NSTime.new(seconds, math.floor((delta - seconds) * 1e9 + 0.5))
            request.record.reply_in = pinfo.number
        end
    elseif answered(effective) then
        local sender = direction(pinfo, pinfo.src_port)
        pending[sender] = pending[sender] or {}
        table.insert(pending[sender], { frame = pinfo.number, time = pinfo.abs_ts, record = record })
    end
    return record
end

-- One message at offset: its length, or the negative count of bytes still
-- missing (reassembly), or the rest of the buffer when the receiver stops here.
local function dissect_message(tvb, pinfo, tree, offset, names)
    local available = tvb:len() - offset
    if available < HEADER_SIZE then return -DESEGMENT_ONE_MORE_SEGMENT end
    local header_size = tvb(offset, 4):le_uint()
    local version = tvb(offset + 4, 4):le_uint()
    local msg_type = tvb(offset + 8, 4):le_int()
    local length = tvb(offset + 12, 4):le_int()
    if length > MAX_PAYLOAD then
        local item = tree:add(tamber, tvb(offset), "TamberLauncher message, refused payload length")
        item:add_le(f.header_size, tvb(offset, 4))
        item:add_le(f.version, tvb(offset + 4, 4))
        item:add_le(f.type, tvb(offset + 8, 4))
        item:add_le(f.payload_length, tvb(offset + 12, 4)):add_proto_expert_info(e.too_long)
        if available > HEADER_SIZE then item:add(f.unread, tvb(offset + HEADER_SIZE)) end
        if not pinfo.visited then stopped[direction(pinfo, pinfo.src_port)] = pinfo.number end
        table.insert(names, "payload length " .. length .. " refused")
        return available
    end
    local payload_size = length > 0 and length or 0
    if available < HEADER_SIZE + payload_size then return -(HEADER_SIZE + payload_size - available) end

    local effective = effective_type(header_size, version, msg_type)
    local name = type_values[msg_type] or "VANTORMESSAGETYPE_INVALID"
    local item = tree:add(tamber, tvb(offset, HEADER_SIZE + payload_size), "TamberLauncher " .. name)
    local size_item = item:add_le(f.header_size, tvb(offset, 4))
    local version_item = item:add_le(f.version, tvb(offset + 4, 4))
    local type_item = item:add_le(f.type, tvb(offset + 8, 4))
    item:add(f.type_name, tvb(offset + 8, 4), name)
    local length_item = item:add_le(f.payload_length, tvb(offset + 12, 4))
    if header_size ~= HEADER_SIZE then size_item:add_proto_expert_info(e.header_size) end
    if version ~= VERSION then version_item:add_proto_expert_info(e.version) end
    if effective == INVALID then type_item:add_proto_expert_info(e.type) end
    if msg_type < 0 then type_item:add_proto_expert_info(e.negative_type) end
    if length < 0 then length_item:add_proto_expert_info(e.negative_length) end

    local text = ""
    if payload_size > 0 then
        text = tvb(offset + HEADER_SIZE, payload_size):string()
        item:add(f.payload, tvb(offset + HEADER_SIZE, payload_size))
    end

    local key = pinfo.number .. ":" .. tvb:offset() .. ":" .. tvb:len() .. ":" .. offset
    local record = link_reply(pinfo, key, effective)
    if record and record.reply_to then
        item:add(f.reply_to, record.reply_to):set_generated()
        item:add(f.response_time, record.response_time):set_generated()
    elseif effective == REPLY then
        item:add_proto_expert_info(e.no_reply)
    end
    if record and record.reply_in then item:add(f.reply_in, record.reply_in):set_generated() end

    local short = type_names[msg_type] or ("type " .. msg_type)
    if effective == INVALID then short = short .. " (rejected)" end
    if payload_size > 0 then short = short .. ' "' .. (#text > 40 and text:sub(1, 40) .. "..." or text) .. '"' end
    table.insert(names, short)
    return HEADER_SIZE + payload_size
end

function tamber.dissector(tvb, pinfo, tree)
    local total = tvb:len()
    local halt = stopped[direction(pinfo, pinfo.src_port)]
    if halt and halt < pinfo.number then
        pinfo.cols.protocol = "TAMBER"
        pinfo.cols.info = "bytes sent after a refused payload length"
        tree:add(tamber, tvb(), "TamberLauncher, unread"):add_proto_expert_info(e.unread)
        return total
    end
    local offset = 0
    local names = {}
    while offset < total do
        local size = dissect_message(tvb, pinfo, tree, offset, names)
        if size < 0 then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = -size
            break
        end
        offset = offset + size
    end
    if #names > 0 then
        pinfo.cols.protocol = "TAMBER"
        pinfo.cols.info = table.concat(names, ", ")
    end
    return total
end

-- A stream is ours when its first bytes are a header of size 16 and version 1;
-- from then on the whole conversation comes here, split segments included.
local function heuristic(tvb, pinfo, tree)
    if tvb:len() < 8 then return false end
    if tvb(0, 4):le_uint() ~= HEADER_SIZE or tvb(4, 4):le_uint() ~= VERSION then return false end
    pinfo.conversation = tamber
    tamber.dissector(tvb, pinfo, tree)
    return true
end
tamber:register_heuristic("tcp", heuristic)

local registered_ports = ""
function tamber.prefs_changed()
    local ports = DissectorTable.get("tcp.port")
    if registered_ports ~= "" then ports:remove(registered_ports, tamber) end
    registered_ports = tostring(tamber.prefs.ports)
    if registered_ports ~= "" then ports:add(registered_ports, tamber) end
end

function tamber.init()
    messages, pending, stopped = {}, {}, {}
end

DissectorTable.get("tcp.port"):add_for_decode_as(tamber)
