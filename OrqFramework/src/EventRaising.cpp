// filled by the event framework
