// roslib's side of the decoding benchmark. Usage: node roslib-stream.mjs <url> <subscriptions>
// Subscribes that many roslib topics to "/odom" and one to "/done", then measures from the first
// "/odom" message to the "/done" message. Prints {"frames":N,"seconds":S}.
import * as ROSLIB from 'roslib';

const [url, count] = [process.argv[2], Number(process.argv[3])];
const ros = new ROSLIB.Ros({ url });
let frames = 0;
let first = 0n;
let sink = 0;
ros.on('error', () => process.exit(1));
ros.on('connection', () => {
    for (let i = 0; i < count; ++i) {
        const topic = new ROSLIB.Topic({ ros, name: '/odom', messageType: 'nav_msgs/msg/Odometry' });
        topic.subscribe((message) => {
            if (i === 0) {
                if (frames++ === 0)
                    first = process.hrtime.bigint();
            }
            sink += message.pose.pose.position.x;
        });
    }
    const done = new ROSLIB.Topic({ ros, name: '/done', messageType: 'std_msgs/Empty' });
    done.subscribe(() => {
        const seconds = Number(process.hrtime.bigint() - first) / 1e9;
        process.stdout.write(JSON.stringify({ frames, seconds, sink: sink !== 0 }) + '\n');
        ros.close();
        process.exit(0);
    });
});
