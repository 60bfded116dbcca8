// roslib's frame handling without a socket, the counterpart of handing frames straight to our
// client. Usage: node roslib-direct.mjs <frames> <subscriptions>
// A transport that sends nothing is given to roslib; the frames go to its raw-message handler.
// Prints {"frames":N,"seconds":S}.
import * as ROSLIB from 'roslib';
import { odometryMessage } from './odometry.mjs';

class LoopTransport extends ROSLIB.AbstractTransport {
    send() {}
    close() {}
    isConnecting() { return false; }
    isOpen() { return true; }
    isClosing() { return false; }
    isClosed() { return false; }
}

const [total, count] = [Number(process.argv[2]), Number(process.argv[3])];
const transport = new LoopTransport();
const ros = new ROSLIB.Ros({ transportFactory: async () => transport });
await ros.connect('loop://');
transport.emit('open', {});
let sink = 0;
let received = 0;
for (let i = 0; i < count; ++i) {
    const topic = new ROSLIB.Topic({ ros, name: '/odom', messageType: 'nav_msgs/msg/Odometry' });
    topic.subscribe((message) => {
        if (i === 0)
            ++received;
        sink += message.pose.pose.position.x;
    });
}
const frames = [];
for (let i = 0; i < 64; ++i)
    frames.push(JSON.stringify({ op: 'publish', topic: '/odom', msg: odometryMessage(i) }));
const start = process.hrtime.bigint();
for (let i = 0; i < total; ++i)
    transport.handleRawMessage(frames[i % frames.length]);
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
process.stdout.write(JSON.stringify({ frames: received, seconds, sink: sink !== 0 }) + '\n');
