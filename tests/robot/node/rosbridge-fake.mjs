// A small rosbridge server on loopback (npm ws) playing the shared scenario, the same as the
// in-process fake of the C++ suites: "/nimbrel/echo" answers its arguments, "/nimbrel/fail" fails
// with "denied", a subscription to "/odom" is answered by two messages {"n":1} and {"n":2}.
// Prints the port as its first line, then one line per frame it receives.
//
// With --stream <frames> <subscriptions>: instead waits for that many subscriptions (of any
// topic), then sends <frames> publish frames of an Odometry message on "/odom" and one "/done"
// message, as fast as the socket takes them (the decoding benchmark).
import { WebSocketServer } from 'ws';
import { odometryMessage } from './odometry.mjs';

const args = process.argv.slice(2);
const stream = args[0] === '--stream' ? { frames: Number(args[1]), subscriptions: Number(args[2]) } : null;

const server = new WebSocketServer({ host: '127.0.0.1', port: 0 });
server.on('listening', () => process.stdout.write(`${server.address().port}\n`));
server.on('connection', (socket) => {
    let subscriptions = 0;
    socket.on('message', (data, isBinary) => {
        if (isBinary)
            return;
        const text = data.toString();
        if (!stream)
            process.stdout.write(text + '\n');
        let request;
        try { request = JSON.parse(text); } catch { return; }
        const send = (object) => socket.send(JSON.stringify(object));
        if (request.op === 'call_service' && request.service === '/nimbrel/echo') {
            send({ op: 'service_response', id: request.id, service: request.service, result: true,
                   values: request.args });
        } else if (request.op === 'call_service' && request.service === '/nimbrel/fail') {
            send({ op: 'service_response', id: request.id, service: request.service, result: false,
                   values: 'denied' });
        } else if (request.op === 'subscribe' && !stream && request.topic === '/odom') {
            send({ op: 'publish', topic: '/odom', msg: { n: 1 } });
            send({ op: 'publish', topic: '/odom', msg: { n: 2 } });
        } else if (request.op === 'subscribe' && stream && ++subscriptions === stream.subscriptions) {
            const frames = [];
            for (let i = 0; i < 64; ++i)
                frames.push(JSON.stringify({ op: 'publish', topic: '/odom', msg: odometryMessage(i) }));
            let i = 0;
            const pump = () => {
                while (i < stream.frames) {
                    socket.send(frames[i % frames.length]);
                    ++i;
                    if (socket.bufferedAmount > (4 << 20))
                        return setImmediate(pump);
                }
                send({ op: 'publish', topic: '/done', msg: { frames: stream.frames } });
            };
            pump();
        }
    });
});
